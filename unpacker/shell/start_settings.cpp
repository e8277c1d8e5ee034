#include "unpacker/shell/start_settings.h"

#include <cstring>

#include "unpacker/container/option_block.h"
#include "unpacker/container/run_outcome.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/paths.h"
#include "unpacker/extract/walk_archive.h"
#include "unpacker/shell/command_line.h"
#include "unpacker/shell/run_after_extraction.h"

bool ApplyStartSettings() {
  const ExtractorOptionsRecord& o = ExtractorOptions;
  const char* folder = Switches.HasDestination ? Switches.Destination.c_str()
                       : o.HasDefaultFolder    ? o.DefaultFolder
                                               : o.StartDirectory;
  const size_t length = std::strlen(folder);
  const bool fits = length < kDestFolderSize;
  const size_t kept = fits ? length : kDestFolderSize - 1;
  std::memcpy(DestFolder, folder, kept);
  DestFolder[kept] = 0;

  switch (Switches.Overwrite) {
    case OverwriteSwitch::Replace:
      OverwriteMode = OverwriteChoice::ReplaceWithoutAsking;
      break;
    case OverwriteSwitch::Keep:
      OverwriteMode = OverwriteChoice::SkipWithoutAsking;
      break;
    case OverwriteSwitch::FromOptionBlock:
      // Without a window nobody can be asked: an existing file is kept.
      OverwriteMode = o.OverwriteByDefault ? OverwriteChoice::ReplaceWithoutAsking
                      : Switches.Silent    ? OverwriteChoice::SkipWithoutAsking
                                           : OverwriteChoice::AskEachFile;
      break;
  }
  if (Switches.HasPassword) Password = Switches.Password;
  return ExpandFolderMacros(DestFolder, kDestFolderSize) && fits;
}

void ExtractSilently() {
  if (!Switches.HasDestination && !ExtractorOptions.HasDefaultFolder) {
    Outcome.CommandLineError = true;  // nowhere to extract to, and nobody to ask
    return;
  }
  if (!ApplyStartSettings() || !IsValidFolderName(DestFolder)) {
    Outcome.Extraction = ExtractionOutcome::Failed;
    return;
  }
  WalkArchive(Pass::Scan);
  if (Outcome.ArchiveUnreadable) return;
  WalkArchive(Pass::Extract);
  if (Outcome.Extraction == ExtractionOutcome::Succeeded) RunAfterExtraction();
}
