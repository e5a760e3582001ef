// Selects the local-image array of a register type, with its capacity, and finds how
// far a pointer into one of the driver's image arrays may go.
#ifndef IMAGE_AREAS_H
#define IMAGE_AREAS_H

#include <climits>
#include <cstdint>

#include "fins_codec.h"
#include "omron_fins_tcpip.h"

struct WordImage {
    unsigned short* words; // nullptr when the area is not a word area
    int capacity;          // in words
};

struct FlagImage {
    unsigned char* bytes; // nullptr when the area is not a flag area
    int capacity;         // in bytes of eight flags
};

inline WordImage wordImage(fins::ImageArea area) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    switch (area) {
    case fins::ImageArea::Cio:
        return {d.cio_image, CIO_IMAGE_WORDS};
    case fins::ImageArea::W:
        return {d.w_image, W_IMAGE_WORDS};
    case fins::ImageArea::H:
        return {d.h_image, H_IMAGE_WORDS};
    case fins::ImageArea::A:
        return {d.a_image, A_IMAGE_WORDS};
    case fins::ImageArea::D:
        return {d.d_image, D_IMAGE_WORDS};
    case fins::ImageArea::TimerPv:
        return {d.t_pv_image, T_PV_IMAGE_WORDS};
    case fins::ImageArea::CounterPv:
        return {d.c_pv_image, C_PV_IMAGE_WORDS};
    default:
        return {nullptr, 0};
    }
}

inline FlagImage flagImage(fins::ImageArea area) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    switch (area) {
    case fins::ImageArea::TimerFlag:
        return {d.t_flag_image, T_FLAG_IMAGE_BYTES};
    case fins::ImageArea::CounterFlag:
        return {d.c_flag_image, C_FLAG_IMAGE_BYTES};
    default:
        return {nullptr, 0};
    }
}

// Positions the per-station store keeps, in a type's own unit (bits for bit types):
// every address an int holds, 0 to INT_MAX. Remote frames carry 32-bit addresses, so
// the store is not bounded by the 16-bit FINS space (FINS mode sends no such address).
const long long STORE_POSITIONS = static_cast<long long>(INT_MAX) + 1;

// Elements of type T from p to the end of the image array that holds p, or -1 when p
// lies in none of the nine arrays.
template <typename T> long long imageCapacityFrom(const T* p) {
    const Omron_Fins_TcpIP_Series& d = PLC_driver;
    struct Range {
        const void* begin;
        std::size_t bytes;
    } const arrays[] = {
        {d.cio_image, sizeof d.cio_image},       {d.w_image, sizeof d.w_image},
        {d.h_image, sizeof d.h_image},           {d.a_image, sizeof d.a_image},
        {d.t_pv_image, sizeof d.t_pv_image},     {d.c_pv_image, sizeof d.c_pv_image},
        {d.d_image, sizeof d.d_image},           {d.t_flag_image, sizeof d.t_flag_image},
        {d.c_flag_image, sizeof d.c_flag_image},
    };
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(p);
    for (const Range& r : arrays) {
        const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(r.begin);
        if (at >= begin && at < begin + r.bytes)
            return static_cast<long long>((begin + r.bytes - at) / sizeof(T));
    }
    return -1;
}

#endif
