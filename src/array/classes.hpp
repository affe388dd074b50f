// The class registry behind user classes: 32 classes of 128 methods each.
#pragma once

class Mm;

// A class record: the name and its method slots.
struct class_record {
    char name[40];
};

int find_class(const char* name);
int find_class_method(int index, const char* method_name);
int add_class(const char* name);
int add_class_method(int index, const char* method_name);
int class_id_of_name(const char* name);
// Null, after "[]:wrong classid", for an id that is not a class in use.
const class_record* class_record_of_id(int id);
