// Internal helpers of value display shared with other subsystems.
#pragma once

class Mm;

// "char", "sparse", "struct", an object's class name, "cell", "uint8" or
// "double". The text is static or belongs to the class registry.
const char* class_name_of(const Mm& x);
