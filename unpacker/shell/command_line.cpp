#include "unpacker/shell/command_line.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// True when `token` (without its "/" or "-") is `name`, letter case aside.
bool Is(const ByteString& token, const char* name) {
  uint32_t i = 1;
  for (; name[i - 1] != 0; ++i)
    if (i >= token.size() || Upper(token[i]) != name[i - 1]) return false;
  return i == token.size();
}

// True when `token` starts with a switch character and `name` followed by "=".
bool HasValue(const ByteString& token, const char* name) {
  uint32_t i = 1;
  for (; name[i - 1] != 0; ++i)
    if (i >= token.size() || Upper(token[i]) != name[i - 1]) return false;
  return i < token.size() && token[i] == '=';
}

bool StartsSwitch(const char* at) {
  return *at == '/' || *at == '-';
}

// A /D= switch at `at`: "/D=" or "-D=", letter case aside, possibly behind an opening quote.
bool IsDestinationSwitch(const char* at) {
  if (*at == '"') ++at;
  return StartsSwitch(at) && Upper(at[1]) == 'D' && at[2] == '=';
}

// Reads the destination switch starting at *at and moves *at past it. Unquoted, the folder is
// the rest of the line without trailing blanks; quoted (the whole switch or just the folder),
// it ends at the closing quote and other switches may follow.
ByteString ReadDestination(const char** at) {
  const char* p = *at;
  bool quoted = *p == '"';
  p += quoted ? 4 : 3;
  if (!quoted && *p == '"') {
    quoted = true;
    ++p;
  }
  const char* end = p;
  if (quoted) {
    while (*end && *end != '"') ++end;
    *at = *end ? end + 1 : end;
  } else {
    while (*end) ++end;
    while (end > p && IsBlank(end[-1])) --end;
    *at = end;
  }
  return ByteString(p, uint32_t(end - p));
}

// Reads one blank-separated token starting at *at, with its quotes removed (a blank inside
// quotes belongs to the token), and moves *at past it.
ByteString ReadToken(const char** at) {
  ByteString token;
  bool quoted = false;
  const char* p = *at;
  for (; *p && (quoted || !IsBlank(*p)); ++p) {
    if (*p == '"')
      quoted = !quoted;
    else
      token.Append(p, 1);
  }
  *at = p;
  return token;
}

}  // namespace

CommandLineSwitches Switches;

bool ParseSwitches(const char* line, CommandLineSwitches* switches, ByteString* unknown) {
  *switches = CommandLineSwitches();
  bool known = true;
  const auto refuse = [&](const ByteString& token) {
    if (known) *unknown = token;
    known = false;
  };
  const char* at = line ? line : "";
  for (;;) {
    while (IsBlank(*at)) ++at;
    if (*at == 0) return known;
    if (IsDestinationSwitch(at)) {
      const char* name = *at == '"' ? at + 1 : at;
      ByteString folder = ReadDestination(&at);
      if (folder.empty()) {
        refuse(ByteString(name, 3));  // "/D=" as typed
      } else {
        switches->HasDestination = true;
        switches->Destination = folder;
      }
      continue;
    }
    const ByteString token = ReadToken(&at);
    CommandLineSwitches& s = *switches;
    if (token.empty() || !StartsSwitch(token.c_str())) {
      refuse(token);
    } else if (Is(token, "S")) {
      s.Silent = true;
    } else if (Is(token, "Y")) {
      s.Overwrite = OverwriteSwitch::Replace;
    } else if (Is(token, "N")) {
      s.Overwrite = OverwriteSwitch::Keep;
    } else if (Is(token, "NORUN")) {
      s.NoRun = true;
    } else if (Is(token, "WAIT")) {
      s.Wait = true;
    } else if (Is(token, "?") || Is(token, "H")) {
      s.Help = true;
    } else if (HasValue(token, "P")) {
      s.HasPassword = true;
      s.Password = token.Mid(3);
    } else {
      refuse(token);
    }
  }
}
