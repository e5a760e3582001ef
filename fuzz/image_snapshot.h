// A copy of the nine local-image arrays and the elements an operation changed, by area
// and index, for the fuzz models that know which elements each operation may touch.
#ifndef FUZZ_IMAGE_SNAPSHOT_H
#define FUZZ_IMAGE_SNAPSHOT_H

#include <cstring>
#include <vector>

#include "image_areas.h"

struct ImageChange {
    fins::ImageArea area;
    int index; // word, or byte of eight flags
};

class ImageSnapshot {
  public:
    ImageSnapshot() {
        for (fins::ImageArea a : kAreas) {
            const Bytes b = bytesOf(a);
            copies_.emplace_back(b.base, b.base + b.size * b.element);
        }
    }

    // Elements whose value differs from the snapshot, area by area in ascending order.
    std::vector<ImageChange> changes() const {
        std::vector<ImageChange> out;
        for (size_t a = 0; a < copies_.size(); ++a) {
            const Bytes b = bytesOf(kAreas[a]);
            for (int i = 0; i < b.size; ++i)
                if (std::memcmp(copies_[a].data() + i * b.element, b.base + i * b.element,
                                b.element) != 0)
                    out.push_back({kAreas[a], i});
        }
        return out;
    }

  private:
    struct Bytes {
        const unsigned char* base;
        int size, element; // elements, and bytes an element
    };
    static Bytes bytesOf(fins::ImageArea a) {
        const WordImage w = wordImage(a);
        if (w.words) return {reinterpret_cast<const unsigned char*>(w.words), w.capacity, 2};
        const FlagImage f = flagImage(a);
        return {f.bytes, f.capacity, 1};
    }
    static constexpr fins::ImageArea kAreas[] = {
        fins::ImageArea::Cio,     fins::ImageArea::W,         fins::ImageArea::H,
        fins::ImageArea::A,       fins::ImageArea::TimerPv,   fins::ImageArea::CounterPv,
        fins::ImageArea::D,       fins::ImageArea::TimerFlag, fins::ImageArea::CounterFlag};
    std::vector<std::vector<unsigned char>> copies_;
};

#endif
