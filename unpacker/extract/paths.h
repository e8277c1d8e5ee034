// Paths, names and folder macros of the unpacker: everything that looks inside a folder or
// file name.
//
// Two kinds of text meet here. The destination folder, the macros' folders and the run
// command are byte strings in an ANSI code page, as the dialog and the option block hold
// them. The paths of the files and folders an extraction makes are UTF-8 (kPathCodePage):
// entry names may be in any script, and the file system takes them as UTF-16. TargetPath is
// where the two meet.
//
// In the double-byte code pages the second
// byte of a character can be 0x5C, the backslash (code page 932 has such characters; in 949
// trail bytes run from 0x41 to 0xFE). So a name is never searched byte by byte for a
// backslash, slash, colon or blank: it is converted to UTF-16, tested on UTF-16 units, and
// the result is converted back or mapped back to a byte position. Only appending or cutting
// one single-byte character at the end works on the bytes.
//
// Two code pages are used: NameCodePage() for CharSafePos and FileNamePart, the system ANSI
// code page for everything else. On a normally configured system they are the same.
//
// Texts are examined whole; nothing is cut at a fixed conversion buffer. A result that
// would not fit the fixed buffer it belongs in is refused (false) and the buffer is left as
// it was, so no buffer is overrun and no destination is silently cut into another folder.
#pragma once

#include <cstdint>

#include "unpacker/container/byte_string.h"

// The code page of name comparisons: the thread locale's ANSI code page (CP_THREAD_ACP) on
// Windows NT 5 and later, that code page looked up from the thread locale on the Windows 95
// family and NT 4 and older. Computed afresh at every use.
uint32_t NameCodePage();

// The locale's default ANSI code page, 0 (the system default) when it cannot be read or is no
// decimal number.
uint32_t LocaleAnsiCodePage(uint32_t locale);

// The 1-based byte position in `haystack` of the first occurrence of `needle`, compared
// character by character; 0 when the needle is empty or absent. The needle's bytes stand at
// the position returned, so a caller can cut the text there.
uint32_t CharSafePos(const ByteString& needle, const ByteString& haystack);

// The text after the last backslash or colon (a slash is no separator here); the whole path
// when there is none.
ByteString FileNamePart(const ByteString& path);

// The folder part of a UTF-8 path (backslash, slash and colon separate): "C:\a\b.txt" -> "C:\a",
// "C:\a" -> "C:\", "C:\" -> "C:\", "C:x" -> "C:", "a/b" -> "a"; empty for a name without
// separator. A root keeps its separator; any other separator at the end of the folder goes.
ByteString ParentFolder(const ByteString& path);

// Whether a destination folder typed by the user is acceptable: outside its drive part (C: or
// \\server\share) no " * : < > ? |, no doubled backslash, no blank before a backslash or at
// the end. The empty text is acceptable.
bool IsValidFolderName(const char* text);

// Expands the folder macros {dest}, {win}, {sys} and {temp} (letter case ignored) in the
// NUL-terminated text in `buffer`, in place. A macro is followed by exactly one backslash
// (the text's own or an inserted one); {temp} gives the folder without its trailing
// backslash; {dest} is DestFolder's text as it was when the expansion began; an unknown token
// disappears. A "{" without a "}" after it leaves the text from that brace on as it is.
// Returns false, leaving the buffer unchanged, when the expanded text and its NUL would not
// fit into `capacity` bytes (or the buffer holds no NUL within them).
bool ExpandFolderMacros(char* buffer, uint32_t capacity);

// Makes DestFolder absolute: a folder that holds no colon and does not begin with two
// backslashes is placed below ExtractorOptions.StartDirectory. Returns false, DestFolder
// unchanged, when the result would not fit DestFolder.
bool AbsoluteDestFolder();

// Gives DestFolder a trailing backslash and sets *target to DestFolder without its trailing
// backslashes and blanks, in UTF-8, one backslash and the entry name (UTF-8, EntryNameUtf8).
// Returns false (DestFolder and *target unchanged) when the backslash does not fit DestFolder.
bool TargetPath(const ByteString& entryName, ByteString* target);

// `text` converted from one code page to another (through UTF-16); empty when it cannot be.
ByteString ConvertText(const ByteString& text, uint32_t from, uint32_t to);

// Whether the bytes are well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing beyond U+10FFFF.
bool IsValidUtf8(const char* bytes, uint32_t length);

// An entry's name as the file system gets it, UTF-8: a name stored in UTF-8 (`utf8`) as it
// is, any other from the system ANSI code page. False for a UTF-8 name that is not well-formed:
// what it names is unknown, so it is refused like an unsafe name.
bool EntryNameUtf8(const ByteString& stored, bool utf8, ByteString* name);

// Appends a backslash to the NUL-terminated text in `buffer` unless it ends with one. Returns
// false, buffer unchanged, when the backslash and the NUL would not fit into `capacity` bytes.
bool AppendBackslash(char* buffer, uint32_t capacity);

// The text without its trailing backslashes and blanks.
ByteString TrimTrailingSeparators(const char* text);

// Whether a file or folder exists at `path` (UTF-8); a path that ends with a backslash names a
// folder that can be listed. Slashes count as backslashes. The empty path does not exist, and
// neither does a path longer than the system can search for.
bool PathExists(const char* path);

// Replaces every "/" in the NUL-terminated text by a backslash, in place; returns buffer.
char* SlashesToBackslashes(char* buffer);

// Creates the folder `path` (UTF-8; a trailing backslash allowed) and every missing folder above
// it, from the top down. Paths shorter than 3 bytes (such as "C:") are never created. Failures are
// not reported; the caller checks with PathExists. Each folder made is appended to *made, when
// given, followed by a NUL.
void ForceFolders(const ByteString& path, ByteString* made = nullptr);

// The first n bytes of the field, cut before the first NUL among them.
ByteString FixedToString(const char* field, uint16_t n);

// Whether an archive entry name (UTF-8) would reach outside the destination folder or name
// something other than a file below it: a drive or any colon, a rooted, UNC or device path ("\x",
// "/x",
// "\\server", "\\?\", "\\.\"), a component made only of dots and blanks with at least two dots
// (Windows drops trailing dots and blanks, so ".. " and "..." can resolve to ".."), or a
// reserved device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, also with an
// extension) as any component. Backslash and slash both separate components.
bool IsUnsafeEntryName(const ByteString& name);
