// The device's three boot images, kept as boot1.img..boot3.img in a host directory beside
// (never inside) the device root, so no device path reaches them. An image that was never
// written reads back empty. A write goes to bootN.img.part and is renamed over the image only
// when complete, so an interrupted write leaves the old image.
#pragma once

#include <cstdint>

#include "device_fs.h"

namespace rq::sim {

constexpr int kFirstBoot = 1;
constexpr int kLastBoot = 3;

// Opens image `boot` for reading. Returns 0 with *fd = -1 and *size = 0 for an image never
// written, 0 with an open *fd and its *size, or the negated device status.
int boot_open_read(const char* boot_dir, int boot, int* fd, int64_t* size);

// Starts writing image `boot`; finish with fs_upload_commit or fs_upload_abort.
int boot_write_begin(const char* boot_dir, int boot, Upload& up);

}  // namespace rq::sim
