// The run command of the option block: "program|arguments", where "><" stands for the
// destination folder.
#pragma once

#include "unpacker/container/byte_string.h"

enum class RunPart { Program, Arguments };

// The program part (before the first "|", or all of it) or the argument part (after it, or
// empty) of RunCommand, with every "><" of that part replaced by DestFolder, which first gets
// its trailing backslash. The placeholders are those of the command's own text, replaced left
// to right: a destination that itself contains "><" is inserted as it is and never searched.
ByteString CommandPart(RunPart which);
