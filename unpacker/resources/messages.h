// Every text that the unpacker shows in a message box, in one place. UTF-8; the shell converts
// them for display. A message about a path shows the path, " : " and the text (ShowMessage).
#pragma once

inline constexpr char kMsgCaption[] = "Pakko EXE";

inline constexpr char kMsgArchiveUnreadable[] = "압축 파일을 읽을 수 없습니다.";
inline constexpr char kMsgArchiveDamaged[] = "압축 파일이 손상되었습니다.";
inline constexpr char kMsgUnknownMethod[] = "알수 없는 압축 형식입니다.";
inline constexpr char kMsgCannotOpenFile[] = "파일을 열 수 없습니다.";
inline constexpr char kMsgCannotCloseFile[] = "파일을 닫을 수 없습니다.";
inline constexpr char kMsgFolderError[] = "디렉토리 오류";
inline constexpr char kMsgAllExtracted[] = "모든 파일의 압축을 풀었습니다.";
inline constexpr char kMsgCancelled[] = "작업이 취소되었습니다.";
inline constexpr char kMsgExtractionFailed[] = "파일의 압축을 풀 수 없습니다.";
inline constexpr char kMsgInvalidFolder[] = "폴더이름이 잘못되었습니다.";
