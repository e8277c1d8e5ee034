#include "builder/option_block_writer.h"

#include <algorithm>

namespace mksfx {

bool BuildOptionBlock(uint8_t flags, const OptionTexts& texts, OptionBlock* block,
                      std::string* error) {
  const struct {
    const char* what;
    const std::string& text;
  } parts[] = {{"caption (--caption)", texts.caption},
               {"default folder (--folder)", texts.folder},
               {"run command (--run)", texts.command}};
  size_t total = 7;
  for (const auto& part : parts) {
    if (part.text.size() > 255) {
      *error = "the " + std::string(part.what) + " is " + std::to_string(part.text.size()) +
               " bytes long in the archive's code page; at most 255 fit";
      return false;
    }
    total += part.text.size();
  }
  if (total > block->size()) {
    *error = "caption, default folder and run command take " + std::to_string(total - 7) +
             " bytes together in the archive's code page; at most 249 fit in the option block";
    return false;
  }
  block->fill(0);
  uint8_t* out = block->data();
  *out++ = 'M';
  *out++ = 'P';
  *out++ = 'U';
  *out++ = flags;
  for (const auto& part : parts) *out++ = uint8_t(part.text.size());
  for (const auto& part : parts) out = std::copy(part.text.begin(), part.text.end(), out);
  return true;
}

}  // namespace mksfx
