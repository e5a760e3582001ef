// The nine local-image arrays lie side by side in the driver object, from cio_image to
// the end of c_flag_image, where ASan sees no gap: a write past the end of one lands in
// the next. Tests therefore compare the whole range with a copy.
#ifndef IMAGE_SNAPSHOT_H
#define IMAGE_SNAPSHOT_H

#include <cstring>
#include <vector>

#include "driver_object.h"

inline unsigned char* imageBegin() {
    return reinterpret_cast<unsigned char*>(PLC_driver.cio_image);
}
inline unsigned char* imageEnd() {
    return reinterpret_cast<unsigned char*>(PLC_driver.c_flag_image + C_FLAG_IMAGE_BYTES);
}
// The 16-bit unit of the image range that holds p (word arrays start on a unit).
inline int unitOf(const void* p) {
    return static_cast<int>((static_cast<const unsigned char*>(p) - imageBegin()) / 2);
}

class ImageSnapshot {
  public:
    ImageSnapshot() : copy_(imageBegin(), imageEnd()) {}
    // Units whose bytes differ from the copy, ascending.
    std::vector<int> changes() const {
        std::vector<int> out;
        for (size_t i = 0; i < copy_.size(); ++i)
            if (copy_[i] != imageBegin()[i] && (out.empty() || out.back() != int(i / 2)))
                out.push_back(static_cast<int>(i / 2));
        return out;
    }

  private:
    std::vector<unsigned char> copy_;
};

// A pattern no test value equals, so a stray write anywhere shows up as a change.
inline void fillImagePattern() {
    std::memset(imageBegin(), 0xA5, imageEnd() - imageBegin());
}

#endif
