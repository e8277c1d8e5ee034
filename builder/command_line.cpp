#include "builder/command_line.h"

#include <cstdlib>

namespace mksfx {

const char kUsage[] =
    "usage: mksfx [options] -o OUT.exe INPUT...   INPUT: folders, files, or one existing .zip\n"
    "  --caption TEXT      window title\n"
    "  --folder TEXT       default destination; may use {dest} {win} {sys} {temp}\n"
    "  --run \"PROG|ARGS\"   program to start after extraction; >< stands for the destination\n"
    "  --auto              extract at once, without a click\n"
    "  --overwrite         replace existing files by default\n"
    "  --wait-delete       wait for the program, then delete the extracted files\n"
    "  --password PW       encrypt every file; the stub asks for the password\n"
    "  --encryption aes256|zipcrypto\n"
    "                      aes256 (default): WinZip AES-256, the password as UTF-8; it\n"
    "                      withstands the known-plaintext attack that recovers a ZipCrypto\n"
    "                      archive's keys from a few known bytes (an .exe header, say).\n"
    "                      zipcrypto: only for ZIP readers that know nothing else\n"
    "  --level 0-9         compression level (default 9); 0 stores\n"
    "  --codepage N        code page of names and texts in the archive (default 949)\n"
    "  --arch x86|x64      the embedded stub to use (default x86; x64 also starts where\n"
    "                      Windows runs no 32-bit programs)\n"
    "  --stub PATH         another stub, x86 or x64, instead of an embedded one\n"
    "       mksfx --list FILE.exe                  option block and entries, as the stub reads "
    "them\n"
    "       mksfx --test FILE.exe [--password PW]  decode every entry, check every CRC-32\n"
    "                                              and every AES authentication code\n"
    "       mksfx --help | --version\n"
    "Texts and file names are UTF-8; they are converted to the archive's code page. A name\n"
    "that it cannot hold is stored as UTF-8 with the ZIP's UTF-8 flag, which 7-Zip and\n"
    "Info-ZIP read and the stub does not; texts and passwords must fit the code page.\n"
    "Files of 4 GiB or more, archives beyond 4 GiB and more than 65,534 entries get Zip64\n"
    "records where they need them; the stub's walk, and so the check after packing, reads\n"
    "no file of 4 GiB or more.\n"
    "Exit status: 0 done, 2 an input was refused or an entry is damaged, 7 usage error,\n"
    "8 not enough memory.\n"
    "\n"
    "Silent installs: the built program takes these switches (\"/\" or \"-\", any case):\n"
    "  /S             no window, no message box, no question\n"
    "  /D=PATH        destination, macros allowed; takes the rest of the line, so it comes\n"
    "                 last (or quote the whole switch); without /S it presets the folder box\n"
    "  /Y  /N         replace / keep existing files (default: the --overwrite setting;\n"
    "                 under /S without it, existing files are kept)\n"
    "  /P=PASSWORD    password for encrypted entries (under /S a missing or wrong one is fatal);\n"
    "                 other local users can read a program's command line: prefer the box\n"
    "  /NORUN         extract only, start nothing\n"
    "  /WAIT          wait for the started program and return its exit code\n"
    "  /?  /H         list the switches and exit codes\n"
    "Its exit codes: 0 done, 1 extracted but the program could not be started or the\n"
    "files not all deleted again, 2 fatal (unreadable or damaged archive, CRC-32 error,\n"
    "refused password, a file that cannot be written), 7 command-line error, 8 not enough\n"
    "memory, 255 stopped by the user. After waiting (/WAIT or --wait-delete) it returns the\n"
    "program's own exit code, which may overlap these.\n"
    "Example (cmd):  setup.exe /S /N /D=C:\\Program Files\\Tool\n"
    "                if errorlevel 1 echo failed with %ERRORLEVEL%\n";

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string* error) {
  CommandLine c;
  bool modeGiven = false, archGiven = false;
  auto setMode = [&](Mode m) {
    if (modeGiven && c.mode != m) {
      *error = "--list, --test, --help and --version exclude each other";
      return false;
    }
    c.mode = m;
    modeGiven = true;
    return true;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* into) {
      if (i + 1 >= args.size()) {
        *error = a + " needs a value";
        return false;
      }
      *into = args[++i];
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      if (!setMode(Mode::Help)) return std::nullopt;
    } else if (a == "--version") {
      if (!setMode(Mode::Version)) return std::nullopt;
    } else if (a == "--list" || a == "--test") {
      if (!setMode(a == "--list" ? Mode::List : Mode::Test) || !value(&c.target))
        return std::nullopt;
    } else if (a == "-o" || a == "--output") {
      if (!value(&c.output)) return std::nullopt;
    } else if (a == "--caption") {
      if (!value(&c.caption)) return std::nullopt;
    } else if (a == "--folder") {
      if (!value(&c.folder)) return std::nullopt;
    } else if (a == "--run") {
      if (!value(&c.run)) return std::nullopt;
    } else if (a == "--auto") {
      c.autoExtract = true;
    } else if (a == "--overwrite") {
      c.overwrite = true;
    } else if (a == "--wait-delete") {
      c.waitDelete = true;
    } else if (a == "--password") {
      if (!value(&v)) return std::nullopt;
      c.password = v;
    } else if (a == "--encryption") {
      if (!value(&v)) return std::nullopt;
      if (v != "aes256" && v != "zipcrypto") {
        *error = "--encryption " + v + ": the choices are aes256 and zipcrypto";
        return std::nullopt;
      }
      c.encryption = v == "aes256" ? Encryption::Aes256 : Encryption::ZipCrypto;
    } else if (a == "--stub") {
      if (!value(&c.stub)) return std::nullopt;
    } else if (a == "--arch") {
      if (!value(&v)) return std::nullopt;
      if (v != "x86" && v != "x64") {
        *error = "--arch " + v + ": the architectures are x86 and x64";
        return std::nullopt;
      }
      archGiven = true;
      c.arch = v == "x86" ? StubArch::X86 : StubArch::X64;
    } else if (a == "--level" || a == "--codepage") {
      if (!value(&v)) return std::nullopt;
      char* end = nullptr;
      const unsigned long n = std::strtoul(v.c_str(), &end, 10);
      if (v.empty() || *end != 0 || (a == "--level" && n > 9) || n > 65535 ||
          (a == "--codepage" && n == 0)) {
        *error = a + " " + v + ": " + (a == "--level" ? "a level is 0 to 9" : "not a code page");
        return std::nullopt;
      }
      if (a == "--level")
        c.level = int(n);
      else
        c.codePage = unsigned(n);
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      *error = "unknown option " + a;
      return std::nullopt;
    } else {
      c.inputs.push_back(a);
    }
  }
  if (c.mode == Mode::Pack) {
    if (c.output.empty()) {
      *error = "give the file to write with -o OUT.exe";
      return std::nullopt;
    }
    if (c.inputs.empty()) {
      *error = "give at least one folder, file or .zip to pack";
      return std::nullopt;
    }
  } else if ((c.mode == Mode::List || c.mode == Mode::Test) && !c.inputs.empty()) {
    *error = "unexpected argument " + c.inputs.front();
    return std::nullopt;
  }
  if (archGiven && !c.stub.empty()) {
    *error = "--arch picks an embedded stub; --stub gives another: use one of them";
    return std::nullopt;
  }
  if (c.waitDelete && c.run.empty()) {
    *error = "--wait-delete needs --run: it waits for that program";
    return std::nullopt;
  }
  if (c.encryption && !c.password) {
    *error = "--encryption needs --password";
    return std::nullopt;
  }
  if (c.password && c.password->empty()) {
    *error = "--password needs a non-empty password: the stub never accepts an empty one";
    return std::nullopt;
  }
  return c;
}

}  // namespace mksfx
