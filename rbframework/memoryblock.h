#pragma once
// A block of bytes with a size. Offsets outside the block raise OutOfBoundsException.

#include <QByteArray>
#include <cstdint>
#include <memory>

namespace rb
{

class MemoryBlock
{
  public:
    explicit MemoryBlock(int size = 0);            // zero-filled
    explicit MemoryBlock(const QByteArray &bytes); // a copy of the bytes; Size() is their count

    int Size() const { return int(bytes_.size()); }
    void Size(int newSize); // grows with zeros, shrinks from the end

    int Byte(int offset) const;       // 0..255
    void Byte(int offset, int value); // keeps the low 8 bits

    uint8_t *data() { return reinterpret_cast<uint8_t *>(bytes_.data()); }
    const uint8_t *data() const { return reinterpret_cast<const uint8_t *>(bytes_.constData()); }
    const QByteArray &bytes() const { return bytes_; }

  private:
    QByteArray bytes_;
};

using MemoryBlockPtr = std::shared_ptr<MemoryBlock>;

} // namespace rb
