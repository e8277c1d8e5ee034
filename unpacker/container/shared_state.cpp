#include "unpacker/container/shared_state.h"

char DestFolder[kDestFolderSize];
OverwriteChoice OverwriteMode = OverwriteChoice::ReplaceWithoutAsking;
bool ReplaceThisFile = false;
bool Extracting = false;
bool CancelRequested = false;
bool ArchiveEndedEarly = false;
ByteString Password;
char TypedPassword[kTypedPasswordSize];
int32_t TypedPasswordLength = 0;
OutputFile* OutputHandle = nullptr;
uint32_t RunningCrc = 0;
uint64_t BytesTotal = 0;
uint64_t BytesDone = 0;
int32_t ProgressPercent = 0;
