// Big-endian byte cursor over received and built buffers. One failure style: every read,
// relative or absolute, returns false when its bytes are not all there and then leaves
// both the value and the cursor untouched.
#ifndef BYTE_CURSOR_H
#define BYTE_CURSOR_H

#include <QByteArray>

namespace fins {

// Reads a received buffer; a read checks pos + n <= end before it touches a byte.
class Reader {
  public:
    Reader(const char* data, int size) : data_(data), end_(data && size > 0 ? size : 0) {}
    explicit Reader(const QByteArray& bytes) : Reader(bytes.constData(), bytes.size()) {}

    int pos() const { return pos_; }
    int size() const { return end_; }
    int remaining() const { return end_ - pos_; }
    bool has(long long n) const { return within(pos_, n); }
    bool within(long long pos, long long n) const { return pos >= 0 && n >= 0 && pos + n <= end_; }
    bool seek(long long pos) {
        if (pos < 0 || pos > end_) return false;
        pos_ = static_cast<int>(pos);
        return true;
    }
    bool skip(long long n) { return has(n) && seek(pos_ + n); }

    // Reads at the cursor and moves past the bytes read.
    bool u8(quint8& v) { return take(1, v); }
    bool u16(quint16& v) { return take(2, v); }
    bool u32(quint32& v) { return take(4, v); }

    // Reads at pos; the cursor stays where it is.
    bool u8At(long long pos, quint8& v) const { return peek(pos, 1, v); }
    bool u16At(long long pos, quint16& v) const { return peek(pos, 2, v); }
    bool u32At(long long pos, quint32& v) const { return peek(pos, 4, v); }

  private:
    template <typename T> bool peek(long long pos, int n, T& v) const {
        if (!within(pos, n)) return false;
        quint32 x = 0;
        for (int i = 0; i < n; ++i)
            x = x << 8 | static_cast<unsigned char>(data_[pos + i]);
        v = static_cast<T>(x);
        return true;
    }
    template <typename T> bool take(int n, T& v) {
        if (!peek(pos_, n, v)) return false;
        pos_ += n;
        return true;
    }

    const char* data_;
    int end_;
    int pos_ = 0;
};

// Appends big-endian values to a byte array.
class Writer {
  public:
    explicit Writer(QByteArray& out) : out_(out) {}
    Writer& u8(unsigned v) {
        out_.append(static_cast<char>(v & 0xFFu));
        return *this;
    }
    Writer& u16(unsigned v) { return u8(v >> 8).u8(v); }
    Writer& u32(quint32 v) { return u16(v >> 16).u16(v); }
    Writer& bytes(const QByteArray& b) {
        out_.append(b);
        return *this;
    }

  private:
    QByteArray& out_;
};

} // namespace fins

#endif
