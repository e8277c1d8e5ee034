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

// The command line: an unknown switch is shown as "switch : text"; /? shows the usage.
inline constexpr char kMsgUnknownSwitch[] =
    "알 수 없는 스위치입니다. /? 로 사용법을 볼 수 있습니다.";
inline constexpr char kMsgUsage[] =
    "사용법: [/S] [/Y | /N] [/P=암호] [/NORUN] [/WAIT] [/D=폴더]\n\n"
    "/S\t창 없이 압축을 풉니다.\n"
    "/D=폴더\t압축 풀 폴더 (맨 뒤에 씁니다)\n"
    "/Y\t있는 파일을 묻지 않고 덮어씁니다.\n"
    "/N\t있는 파일을 덮어쓰지 않습니다.\n"
    "/P=암호\t암호화된 파일의 암호\n"
    "/NORUN\t압축만 풀고 프로그램을 실행하지 않습니다.\n"
    "/WAIT\t실행한 프로그램이 끝날 때까지 기다립니다.\n\n"
    "종료 코드\n"
    "0\t성공\n"
    "1\t압축은 풀었으나 실행 또는 삭제에 실패\n"
    "2\t오류 (파일 손상, CRC 오류, 암호, 쓰기 실패)\n"
    "7\t명령줄 오류\n"
    "8\t메모리 부족\n"
    "255\t사용자가 중지\n"
    "기다린 프로그램이 있으면 그 프로그램의 종료 코드를 돌려줍니다.";
