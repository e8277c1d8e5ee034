#include "unpacker/shell/command_part.h"

#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/paths.h"

ByteString CommandPart(RunPart which) {
  AppendBackslash(DestFolder, kDestFolderSize);
  ByteString part(ExtractorOptions.RunCommand);
  const uint32_t bar = CharSafePos(ByteString("|"), part);
  if (bar != 0)
    part = which == RunPart::Program ? part.Left(bar - 1) : part.Mid(bar);
  else if (which == RunPart::Arguments)
    part.Clear();

  ByteString result;
  ByteString rest = part;
  const ByteString placeholder("><");
  for (uint32_t at; (at = CharSafePos(placeholder, rest)) != 0;) {
    result.Append(rest.Left(at - 1));
    result.Append(DestFolder);
    rest = rest.Mid(at - 1 + placeholder.size());
  }
  result.Append(rest);
  return result;
}
