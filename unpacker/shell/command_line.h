// The switches of an unattended run, read from the command line after the program's name.
//
//   /S           silent: no window, no message box, no question
//   /D=PATH      destination folder; takes the rest of the line unless quoted, so it comes last
//   /Y  /N       replace / never replace existing files
//   /P=PASSWORD  password for encrypted entries
//   /NORUN       extract only
//   /WAIT        wait for the started program
//   /?  /H       usage
//
// Switches start with "/" or "-", are case-insensitive and are separated by blanks. Quotes
// may surround a whole switch or its value ("/P=a b" or /P="a b") and are removed. Portable.
#pragma once

#include "unpacker/container/byte_string.h"

enum class OverwriteSwitch : uint8_t { FromOptionBlock, Replace, Keep };

struct CommandLineSwitches {
  bool Silent = false;
  bool Help = false;
  bool NoRun = false;
  bool Wait = false;
  OverwriteSwitch Overwrite = OverwriteSwitch::FromOptionBlock;
  bool HasDestination = false;
  ByteString Destination;
  bool HasPassword = false;
  ByteString Password;
};

// Reads every switch of `line` (ANSI, may be null) into *switches; a later switch overrides an
// earlier one of its kind. False when a switch is unknown, or a /D= has no folder; the first
// such switch, as typed but without its quotes, is then in *unknown. The switches after it are
// still read, so that a /S anywhere keeps the error silent.
bool ParseSwitches(const char* line, CommandLineSwitches* switches, ByteString* unknown);

// This run's switches, read by WinMain.
extern CommandLineSwitches Switches;
