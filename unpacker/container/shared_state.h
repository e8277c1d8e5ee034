// State shared by the dialogs, the extraction loop and the decoders for the whole run.
//
// One thread uses all of it. Long work dispatches pending window messages, so the main dialog
// runs nested inside a pass or a decode; Extracting and CancelRequested are the only variables
// through which such nested runs and the pass influence each other. The option settings, the
// file access state and the current ZIP record live beside their readers (option_block.h,
// archive_access.h, zip_records.h); the window handles live with the Windows shell.
#pragma once

#include <cstdint>

#include "unpacker/container/byte_string.h"

constexpr uint32_t kDestFolderSize = 256;    // 255 bytes of text and a NUL
constexpr uint32_t kTypedPasswordSize = 80;  // 79 bytes of text and a NUL

// What to do with a file that exists already.
enum class OverwriteChoice : uint8_t { ReplaceWithoutAsking, SkipWithoutAsking, AskEachFile };

struct OutputFile;  // the file being written; defined by the platform (inflate/output_file.h)

extern char DestFolder[kDestFolderSize];  // destination folder, ANSI code page
extern OverwriteChoice OverwriteMode;
extern bool ReplaceThisFile;    // the overwrite question's answer for the current file
extern bool Extracting;         // a pass of the extraction loop is running
extern bool CancelRequested;    // stop the current decoding and pass
extern bool ArchiveEndedEarly;  // the archive ended inside an entry's data (and that cancelled)
extern ByteString Password;     // tried on encrypted entries; kept across entries
extern char TypedPassword[kTypedPasswordSize];
extern int32_t TypedPasswordLength;
extern OutputFile* OutputHandle;  // none between entries
extern uint32_t RunningCrc;       // CRC-32 register of the bytes written for the current file
extern uint64_t BytesTotal;       // sum of the uncompressed sizes of all entries
extern uint64_t BytesDone;        // bytes written in the current pass
extern int32_t ProgressPercent;   // 0..100, shown by the progress bar
