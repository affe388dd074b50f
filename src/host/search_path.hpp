// Search-path text helpers shared with the reporting code.
#pragma once

// Every '/' of the text becomes '\', in place.
void to_backslashes(char* text);
