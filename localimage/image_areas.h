// Selects the local-image array of a register type, with its capacity.
#ifndef IMAGE_AREAS_H
#define IMAGE_AREAS_H

#include "fins_frame.h"

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
    case fins::ImageArea::Cio: return {d.cio_image, CIO_IMAGE_WORDS};
    case fins::ImageArea::W: return {d.w_image, W_IMAGE_WORDS};
    case fins::ImageArea::H: return {d.h_image, H_IMAGE_WORDS};
    case fins::ImageArea::A: return {d.a_image, A_IMAGE_WORDS};
    case fins::ImageArea::D: return {d.d_image, D_IMAGE_WORDS};
    case fins::ImageArea::TimerPv: return {d.t_pv_image, T_PV_IMAGE_WORDS};
    case fins::ImageArea::CounterPv: return {d.c_pv_image, C_PV_IMAGE_WORDS};
    default: return {nullptr, 0};
    }
}

inline FlagImage flagImage(fins::ImageArea area) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    switch (area) {
    case fins::ImageArea::TimerFlag: return {d.t_flag_image, T_FLAG_IMAGE_BYTES};
    case fins::ImageArea::CounterFlag: return {d.c_flag_image, C_FLAG_IMAGE_BYTES};
    default: return {nullptr, 0};
    }
}

#endif
