#include "memoryblock.h"

#include "exceptions.h"

namespace rb
{

namespace
{

int checkedSize(int size)
{
    if (size < 0)
        throw OutOfBoundsException(QStringLiteral("memory block size %1 is negative").arg(size));
    return size;
}

} // namespace

MemoryBlock::MemoryBlock(int size) : bytes_(checkedSize(size), '\0') {}

MemoryBlock::MemoryBlock(const QByteArray &bytes) : bytes_(bytes) {}

void MemoryBlock::Size(int newSize)
{
    const int old = Size();
    bytes_.resize(checkedSize(newSize));
    if (newSize > old)
        std::fill(bytes_.begin() + old, bytes_.end(), '\0');
}

int MemoryBlock::Byte(int offset) const
{
    if (offset < 0 || offset >= Size())
        throw OutOfBoundsException(
            QStringLiteral("offset %1 outside a memory block of %2 bytes").arg(offset).arg(Size()));
    return uint8_t(bytes_[offset]);
}

void MemoryBlock::Byte(int offset, int value)
{
    if (offset < 0 || offset >= Size())
        throw OutOfBoundsException(
            QStringLiteral("offset %1 outside a memory block of %2 bytes").arg(offset).arg(Size()));
    bytes_[offset] = char(uint8_t(value & 0xFF));
}

} // namespace rb
