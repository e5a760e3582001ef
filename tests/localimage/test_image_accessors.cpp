#include "local_image_support.h"

namespace {

Omron_Fins_TcpIP_Series& d = PLC_driver;

TEST(ImageAccessors, GetBitShortTakesBitsAcrossWords) {
    d.cio_image[0] = 0x8000;
    d.cio_image[1] = 0x000E;
    QByteArray out;
    GetBit_unsigned_short(out, d.cio_image, 17, 3);
    EXPECT_EQ(toHex(out), "01 01 01");
    out.clear();
    GetBit_unsigned_short(out, d.cio_image, 15, 3);
    EXPECT_EQ(toHex(out), "01 00 01");
}

TEST(ImageAccessors, CountBelowOneTouchesNothing) {
    d.cio_image[0] = 0xFFFF;
    const QByteArray before = imageSnapshot();
    QByteArray out = hex("55");
    QByteArray in = hex("01 01");
    GetBit_unsigned_short(out, d.cio_image, 0, 0);
    GetWord_unsigned_short(out, d.cio_image, 0, -1);
    GetBit_unsigned_char(out, d.t_flag_image, 0, 0);
    SetBit_unsigned_short(0, d.cio_image, &in, 0);
    SetValue_unsigned_short(0, d.cio_image, &in, -5);
    EXPECT_EQ(toHex(out), "55");
    EXPECT_EQ(imageSnapshot(), before);
}

TEST(ImageAccessors, FlagThirteenIsBitFiveOfByteOne) {
    QByteArray one = hex("01");
    SetBit_unsigned_char(13, d.t_flag_image, &one, 1);
    EXPECT_EQ(d.t_flag_image[1], 0x20);
    QByteArray out;
    GetBit_unsigned_char(out, d.t_flag_image, 12, 3);
    EXPECT_EQ(toHex(out), "00 01 00");
}

TEST(ImageAccessors, GetWordCharSwapsHighFirstBytes) {
    d.t_flag_image[4] = 0x12;
    d.t_flag_image[5] = 0x34;
    d.t_flag_image[6] = 0x56;
    d.t_flag_image[7] = 0x78;
    QByteArray out;
    GetWord_unsigned_char(out, d.t_flag_image, 4, 2);
    EXPECT_EQ(toHex(out), "34 12 78 56");
}

// Accessors bounded by the array their pointer lies in: the neighbouring member is
// neither read nor written, and positions far beyond read as 0.
struct BoundRow {
    const char* what;
    void (*run)(QByteArray& out);
    const char* expected;
};

const BoundRow kBoundRows[] = {
    {"last W word, then past W",
     [](QByteArray& o) { GetWord_unsigned_short(o, d.w_image, W_IMAGE_WORDS - 1, 2); },
     "EF BE 00 00"},
    {"pointer inside W: capacity counts from the pointer",
     [](QByteArray& o) { GetWord_unsigned_short(o, d.w_image + 510, 4, 2); }, "EF BE 00 00"},
    {"last bit of W, then past W",
     [](QByteArray& o) { GetBit_unsigned_short(o, d.w_image, W_IMAGE_WORDS * 16 - 1, 2); },
     "01 00"},
    {"word address INT_MAX",
     [](QByteArray& o) { GetWord_unsigned_short(o, d.d_image, INT_MAX, 2); }, "00 00 00 00"},
    {"bit address INT_MAX",
     [](QByteArray& o) { GetBit_unsigned_short(o, d.c_pv_image, INT_MAX, 2); }, "00 00"},
    {"last timer flag, then past the timer flags",
     [](QByteArray& o) { GetBit_unsigned_char(o, d.t_flag_image, T_FLAG_IMAGE_BYTES * 8 - 1, 2); },
     "01 00"},
    {"high-first words across the end of the timer flags",
     [](QByteArray& o) { GetWord_unsigned_char(o, d.t_flag_image, T_FLAG_IMAGE_BYTES - 1, 1); },
     "00 80"},
};

TEST(ImageAccessors, ReadsStopAtTheEndOfTheirArray) {
    for (const BoundRow& row : kBoundRows) {
        d.w_image[W_IMAGE_WORDS - 1] = 0xBEEF;
        d.h_image[0] = 0xFFFF;
        d.t_flag_image[T_FLAG_IMAGE_BYTES - 1] = 0x80;
        d.c_flag_image[0] = 0xFF;
        QByteArray out;
        row.run(out);
        EXPECT_EQ(toHex(out), row.expected) << row.what;
    }
}

TEST(ImageAccessors, WritesStopAtTheEndOfTheirArray) {
    QByteArray words = hex("11 11 22 22 33 33");
    QByteArray bits = hex("01 01 01");
    SetValue_unsigned_short(W_IMAGE_WORDS - 1, d.w_image, &words, 3);
    SetBit_unsigned_short(A_IMAGE_WORDS * 16 - 1, d.a_image, &bits, 3);
    SetBit_unsigned_char(T_FLAG_IMAGE_BYTES * 8 - 1, d.t_flag_image, &bits, 3);
    EXPECT_EQ(d.w_image[W_IMAGE_WORDS - 1], 0x1111);
    EXPECT_EQ(d.a_image[A_IMAGE_WORDS - 1], 0x8000);
    EXPECT_EQ(d.t_flag_image[T_FLAG_IMAGE_BYTES - 1], 0x80);

    // Nothing else in the image changed, and far positions change nothing at all.
    QByteArray expected = imageSnapshot();
    SetValue_unsigned_short(INT_MAX, d.d_image, &words, 3);
    SetBit_unsigned_short(INT_MAX, d.d_image, &bits, 3);
    SetBit_unsigned_char(INT_MAX, d.c_flag_image, &bits, 3);
    SetValue_unsigned_short(C_PV_IMAGE_WORDS, d.c_pv_image, &words, 3);
    EXPECT_EQ(imageSnapshot(), expected);
    d.w_image[W_IMAGE_WORDS - 1] = 0;
    d.a_image[A_IMAGE_WORDS - 1] = 0;
    d.t_flag_image[T_FLAG_IMAGE_BYTES - 1] = 0;
    EXPECT_EQ(imageSnapshot(), QByteArray(99250, '\0'));
}

TEST(ImageAccessors, PointerOutsideTheImageIsTheCallersOwn) {
    unsigned short own[4] = {0, 0, 0x4321, 0};
    QByteArray out;
    GetWord_unsigned_short(out, own, 2, 1);
    EXPECT_EQ(toHex(out), "21 43");
    QByteArray in = hex("CD AB");
    SetValue_unsigned_short(3, own, &in, 1);
    EXPECT_EQ(own[3], 0xABCD);
}

} // namespace
