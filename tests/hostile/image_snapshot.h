// A copy of the nine local-image arrays, and the list of elements an operation changed.
// The arrays sit side by side in the driver object, where ASan sees no gap between
// them: a write past the end of one lands in the next, so tests compare instead.
#ifndef IMAGE_SNAPSHOT_H
#define IMAGE_SNAPSHOT_H

#include <cstring>
#include <vector>

#include "fins_frame.h"

struct ImageAreaView {
    fins::ImageArea area;
    const unsigned char* base;
    int elements;
    int element_size; // 2 for word arrays, 1 for flag bytes
};

inline std::vector<ImageAreaView> imageAreaViews() {
    const Omron_Fins_TcpIP_Series& d = PLC_driver;
    auto words = [](fins::ImageArea a, const unsigned short* p, int n) {
        return ImageAreaView{a, reinterpret_cast<const unsigned char*>(p), n, 2};
    };
    return {words(fins::ImageArea::Cio, d.cio_image, CIO_IMAGE_WORDS),
            words(fins::ImageArea::W, d.w_image, W_IMAGE_WORDS),
            words(fins::ImageArea::H, d.h_image, H_IMAGE_WORDS),
            words(fins::ImageArea::A, d.a_image, A_IMAGE_WORDS),
            words(fins::ImageArea::TimerPv, d.t_pv_image, T_PV_IMAGE_WORDS),
            words(fins::ImageArea::CounterPv, d.c_pv_image, C_PV_IMAGE_WORDS),
            words(fins::ImageArea::D, d.d_image, D_IMAGE_WORDS),
            {fins::ImageArea::TimerFlag, d.t_flag_image, T_FLAG_IMAGE_BYTES, 1},
            {fins::ImageArea::CounterFlag, d.c_flag_image, C_FLAG_IMAGE_BYTES, 1}};
}

struct ImageChange {
    fins::ImageArea area;
    int index; // word, or byte of eight flags
};

class ImageSnapshot {
  public:
    ImageSnapshot() {
        for (const ImageAreaView& v : imageAreaViews())
            copies_.emplace_back(v.base, v.base + v.elements * v.element_size);
    }

    // Elements whose value differs from the snapshot, area by area in ascending order.
    std::vector<ImageChange> changes() const {
        std::vector<ImageChange> out;
        const std::vector<ImageAreaView> views = imageAreaViews();
        for (size_t a = 0; a < views.size(); ++a) {
            const ImageAreaView& v = views[a];
            if (std::memcmp(copies_[a].data(), v.base, copies_[a].size()) == 0) continue;
            for (int i = 0; i < v.elements; ++i) {
                const size_t at = static_cast<size_t>(i) * v.element_size;
                if (std::memcmp(copies_[a].data() + at, v.base + at, v.element_size) != 0)
                    out.push_back({v.area, i});
            }
        }
        return out;
    }

  private:
    std::vector<std::vector<unsigned char>> copies_;
};

// Fills every image array with a pattern that no test value equals, so a stray write
// anywhere shows up as a change.
inline void fillImagePattern(unsigned char pattern = 0xA5) {
    for (const ImageAreaView& v : imageAreaViews())
        std::memset(const_cast<unsigned char*>(v.base), pattern,
                    static_cast<size_t>(v.elements) * v.element_size);
}

#endif
