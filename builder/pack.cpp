#include "builder/pack.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "builder/code_page.h"
#include "builder/collect.h"
#include "builder/embedded_stub.h"
#include "builder/file_io.h"
#include "builder/inspect.h"
#include "builder/option_block_writer.h"
#include "builder/system.h"
#include "builder/zip_input.h"
#include "builder/zip_writer.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/run_outcome.h"

namespace mksfx {

namespace {

constexpr size_t kLongestPassword = 79;  // what the stub's password box takes

int Refuse(const std::string& message) {
  std::fprintf(stderr, "mksfx: %s\n", message.c_str());
  return kExitFatal;
}

// One line on a terminal, rewritten in place; nothing when stderr is a file or a pipe.
class ProgressLine {
 public:
  explicit ProgressLine(uint64_t total) : total_(total), shown_(IsTerminal(stderr)) {}
  ~ProgressLine() {
    if (shown_ && drawn_) std::fputs("\r\033[K", stderr);
  }
  void Update(uint64_t done, size_t file, size_t files) {
    if (!shown_) return;
    const int percent = total_ ? int(done * 100 / total_) : 100;
    if (percent == last_ && file == lastFile_) return;
    last_ = percent;
    lastFile_ = file;
    drawn_ = true;
    std::fprintf(stderr, "\rmksfx: packing %3d%% (file %zu of %zu)", percent, file, files);
    std::fflush(stderr);
  }

 private:
  uint64_t total_;
  bool shown_, drawn_ = false;
  int last_ = -1;
  size_t lastFile_ = 0;
};

// Converts one option text; names the character that the code page cannot hold.
bool ToCodePage(const std::string& what, const std::string& utf8, unsigned codePage,
                std::string* converted, std::string* error) {
  std::string why;
  const auto result = Utf8ToCodePage(utf8, codePage, &why);
  if (!result) {
    // A password is never shown, not even the character that does not fit.
    *error = what == "password" ? "the password holds a character that code page " +
                                      std::to_string(codePage) + " cannot represent"
                                : "the " + what + " " + why;
    return false;
  }
  *converted = *result;
  return true;
}

bool LoadStub(const CommandLine& c, std::vector<uint8_t>* stub, std::string* error) {
  if (!c.stub.empty()) {
    if (!ReadWholeFile(c.stub, stub, error)) return false;
    if (!stub->empty()) return true;
    *error = "the stub " + c.stub + " is empty";
    return false;
  }
  const bool x86 = c.arch == StubArch::X86;
  const unsigned char* embedded = x86 ? kEmbeddedStubX86 : kEmbeddedStubX64;
  const size_t size = x86 ? kEmbeddedStubX86Size : kEmbeddedStubX64Size;
  if (size == 0) {
    *error = std::string("this mksfx was built without the ") + (x86 ? "x86" : "x64") +
             " stub; give one with --stub PATH";
    return false;
  }
  stub->assign(embedded, embedded + size);
  return true;
}

// The image end of the stub as the stub will find it when it reads itself.
uint64_t StubImageEnd(const std::string& outputPath) {
  ArchiveFile* file = OpenArchiveFile(NativeNarrowPath(outputPath).c_str());
  const uint64_t end = file ? FindImageEnd(file) : 0;
  CloseArchiveFile(file);
  return end;
}

}  // namespace

int Pack(const CommandLine& c, std::FILE* out) {
  std::string error;
  OptionTexts texts;
  std::string password;
  if (!ToCodePage("caption", c.caption, c.codePage, &texts.caption, &error) ||
      !ToCodePage("default folder", c.folder, c.codePage, &texts.folder, &error) ||
      !ToCodePage("run command", c.run, c.codePage, &texts.command, &error) ||
      (c.password && !ToCodePage("password", *c.password, c.codePage, &password, &error)))
    return Refuse(error);
  if (password.size() > kLongestPassword)
    return Refuse("the password is " + std::to_string(password.size()) +
                  " bytes long in the archive's code page; the stub's password box takes 79");
  const uint8_t flags =
      uint8_t((c.overwrite ? kFlagOverwriteByDefault : 0) | (c.autoExtract ? kFlagAutoExtract : 0) |
              (c.waitDelete ? kFlagWaitThenDelete : 0));
  OptionBlock block;
  if (!BuildOptionBlock(flags, texts, &block, &error)) return Refuse(error);

  // Read every input before the output is touched, so a refusal leaves nothing behind.
  const bool zipInput = c.inputs.size() == 1 && LooksLikeZipPath(c.inputs[0]) &&
                        std::filesystem::is_regular_file(PathOf(c.inputs[0]));
  ZipInput zip;
  std::vector<PlannedEntry> entries;
  if (zipInput) {
    if (!ReadZipInput(c.inputs[0], c.codePage, !password.empty(), &zip, &error))
      return Refuse(error);
  } else if (!CollectInputs(c.inputs, c.codePage, &entries, &error)) {
    return Refuse(error);
  }
  std::vector<uint8_t> stub;
  if (!LoadStub(c, &stub, &error)) return Refuse(error);

  FilePtr file = OpenFile(c.output, "w+b");
  if (!file) return Refuse(CannotWrite(c.output));
  // A half-written output goes. Only a file is removed: an output such as /dev/null or
  // /dev/full is no file of mksfx's making.
  auto fail = [&](const std::string& message) {
    file.reset();
    std::error_code ec;
    if (std::filesystem::is_regular_file(PathOf(c.output), ec))
      std::filesystem::remove(PathOf(c.output), ec);
    return Refuse(message);
  };
  auto write = [&](const void* data, size_t size) {
    return std::fwrite(data, 1, size, file.get()) == size;
  };

  // The option block must sit at the stub's image end; bytes behind the image (a symbol table,
  // a signature) would hide it, so only the image is kept. The stub's reader opens the file
  // sharing it for reading only, which Windows refuses while a handle may write to it: the
  // file is closed for the measurement and opened again.
  if (!write(stub.data(), stub.size()) || std::fclose(file.release()) != 0)
    return fail(CannotWrite(c.output));
  const uint64_t imageEnd = StubImageEnd(c.output);
  file = OpenFile(c.output, "r+b");
  if (!file) return fail(CannotWrite(c.output));
  if (imageEnd == 0 || imageEnd > stub.size())
    return fail("the stub is not a complete Windows program (no PE image found)");
  if (imageEnd < stub.size()) {
    std::fprintf(stderr, "mksfx: dropping %zu bytes behind the stub's image\n",
                 size_t(stub.size() - imageEnd));
    if (!TruncateFile(file.get(), imageEnd)) return fail(CannotWrite(c.output));
  }
  if (!SeekFile(file.get(), imageEnd) || !write(block.data(), block.size()))
    return fail(CannotWrite(c.output));

  size_t entryCount = 0;
  if (zipInput && zip.walkableAsItStands) {
    ShiftOffsets(&zip, imageEnd + block.size());
    if (!write(zip.bytes.data(), zip.bytes.size())) return fail(CannotWrite(c.output));
    entryCount = zip.entries.size();
    std::fprintf(out, "%s: appended as it stands\n", c.inputs[0].c_str());
  } else {
    // AES entries take the password as UTF-8 (it names no code page); ZipCrypto's readers
    // expect the code page's bytes.
    const Encryption encryption = c.encryption.value_or(Encryption::Aes256);
    ZipWriter writer(file.get(), c.output, c.level,
                     encryption == Encryption::Aes256 ? c.password.value_or("") : password,
                     encryption);
    if (zipInput) {
      std::fprintf(out, "%s: rewritten for the stub (%s), data copied without recompressing\n",
                   c.inputs[0].c_str(), zip.whyRewritten.c_str());
      for (const RawEntry& e : zip.entries)
        if (!writer.AddRaw(e, &error)) return fail(error);
    } else {
      uint64_t total = 0, before = 0;
      for (const PlannedEntry& e : entries) total += e.size;
      ProgressLine progress(total);
      for (size_t i = 0; i < entries.size(); ++i) {
        const PlannedEntry& e = entries[i];
        const EntryInfo info{.name = e.archiveName,
                             .nameIsUtf8 = e.nameIsUtf8,
                             .dosDateTime = e.dosDateTime,
                             .attributes = e.attributes};
        const bool ok =
            e.isFolder
                ? writer.AddFolder(info, &error)
                : writer.AddFile(
                      info, e.sourcePath,
                      [&](uint64_t done) { progress.Update(before + done, i + 1, entries.size()); },
                      &error);
        if (!ok) return fail(error);
        before += e.size;
      }
    }
    if (!writer.Finish(&error)) return fail(error);
    entryCount = writer.entryCount();
  }
  const uint64_t size = TellFile(file.get());
  if (std::fclose(file.release()) != 0) return fail(CannotWrite(c.output));

  std::fprintf(out, "%s: %zu entries, %llu bytes (stub %llu, option block %u, ZIP %llu)\n",
               c.output.c_str(), entryCount, (unsigned long long)size, (unsigned long long)imageEnd,
               unsigned(kOptionBlockSize),
               (unsigned long long)(size - imageEnd - kOptionBlockSize));
  // The stub's own reader and decoder go over the result once. Entries that an existing ZIP
  // brings encrypted cannot be decoded without their password; the stub will ask for it.
  if (TestSelfExtractor(NativeNarrowPath(c.output), c.password, c.codePage, out, true,
                        LockedEntries::PassUnchecked) != 0)
    return fail("the written file does not pass its check");
  return 0;
}

}  // namespace mksfx
