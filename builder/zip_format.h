// The ZIP format as mksfx writes and reads it, beside what the stub's core already defines
// (unpacker/container/zip_records.h: record sizes, the encryption and data-descriptor flags).
// The core keeps no plain signatures, so that the stub's own image never holds one; mksfx's
// are here.
#pragma once

#include <cstdint>

#include "unpacker/container/zip_records.h"

namespace mksfx {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;

constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kFlagUtf8Name = 0x0800;
constexpr uint16_t kMethodStored = 0, kMethodDeflated = 8;

// DOS attribute bits kept in the external attributes.
constexpr uint32_t kAttrReadOnly = 0x01, kAttrHidden = 0x02, kAttrSystem = 0x04,
                   kAttrDirectory = 0x10, kAttrArchive = 0x20;
constexpr uint32_t kDosAttributeMask =
    kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive;

}  // namespace mksfx
