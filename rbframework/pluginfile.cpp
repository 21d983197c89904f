#include "pluginfile.h"

#include "filedescriptor.h"

#include <QFile>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The ELF header of this program itself, placed by the linker: the class, byte order and machine the
// system loader accepts here.
extern "C" const ElfW(Ehdr) __ehdr_start __attribute__((visibility("hidden")));

namespace rb
{

namespace
{

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Reads exactly `size` bytes at `offset`; false when the file ends first or a read fails.
bool readAt(int fd, void *buffer, size_t size, uint64_t offset)
{
    auto *bytes = static_cast<char *>(buffer);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, bytes + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// The identification bytes and e_type/e_machine sit at the same offsets in 32- and 64-bit files.
constexpr size_t machineOffset = EI_NIDENT + 2;
constexpr size_t identificationBytes = EI_NIDENT + 4;

uint16_t half(const unsigned char *bytes, unsigned char byteOrder)
{
    return byteOrder == ELFDATA2MSB ? uint16_t(bytes[0] << 8 | bytes[1]) : uint16_t(bytes[1] << 8 | bytes[0]);
}

QString describe(unsigned char elfClass, unsigned char byteOrder, uint16_t machine)
{
    const QString bits = elfClass == ELFCLASS32   ? QStringLiteral("32-bit")
                         : elfClass == ELFCLASS64 ? QStringLiteral("64-bit")
                                                  : QStringLiteral("class %1").arg(elfClass);
    const QString order = byteOrder == ELFDATA2LSB   ? QStringLiteral("little-endian")
                          : byteOrder == ELFDATA2MSB ? QStringLiteral("big-endian")
                                                     : QStringLiteral("byte order %1").arg(byteOrder);
    return QStringLiteral("%1 %2, machine %3").arg(bits, order).arg(machine);
}

QString truncated(const char *what, uint64_t fileSize)
{
    return QStringLiteral("truncated: %1 past the end of the file (%2 bytes)")
        .arg(QLatin1String(what))
        .arg(fileSize);
}

} // namespace

QString pluginFileProblem(const QString &path)
{
    // Non-blocking, so that opening a FIFO cannot hang; the kind of file is then read from the
    // descriptor itself.
    const FileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        return errno == ENOENT ? QStringLiteral("no such file") : systemError(errno);
    struct stat status = {};
    if (::fstat(file.get(), &status) != 0)
        return systemError(errno);
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("is a directory");
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("not a regular file");
    const uint64_t size = uint64_t(status.st_size);

    unsigned char ident[identificationBytes];
    if (!readAt(file.get(), ident, SELFMAG, 0) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return QStringLiteral("not an ELF file");
    if (!readAt(file.get(), ident, sizeof ident, 0))
        return truncated("the ELF header lies", size);
    const ElfW(Ehdr) &own = __ehdr_start;
    const uint16_t machine = half(ident + machineOffset, ident[EI_DATA]);
    if (ident[EI_CLASS] != own.e_ident[EI_CLASS] || ident[EI_DATA] != own.e_ident[EI_DATA] ||
        machine != own.e_machine)
        return QStringLiteral("ELF for another machine (%1; this program is %2)")
            .arg(describe(ident[EI_CLASS], ident[EI_DATA], machine),
                 describe(own.e_ident[EI_CLASS], own.e_ident[EI_DATA], own.e_machine));

    ElfW(Ehdr) header;
    if (!readAt(file.get(), &header, sizeof header, 0))
        return truncated("the ELF header lies", size);
    if (header.e_type != ET_DYN)
        return QStringLiteral("not a shared library (ELF type %1)").arg(header.e_type);
    if (header.e_phnum > 0 && header.e_phentsize != sizeof(ElfW(Phdr)))
        return QStringLiteral("program headers of %1 bytes, not %2")
            .arg(header.e_phentsize)
            .arg(sizeof(ElfW(Phdr)));
    const uint64_t tableSize = uint64_t(header.e_phnum) * sizeof(ElfW(Phdr)); // at most 64 Ki entries
    if (header.e_phoff > size || tableSize > size - header.e_phoff)
        return truncated("program headers lie", size);
    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    if (!readAt(file.get(), segments.data(), tableSize, header.e_phoff))
        return truncated("program headers lie", size);
    for (const ElfW(Phdr) & segment : segments) {
        const bool inside = segment.p_offset <= size && segment.p_filesz <= size - segment.p_offset;
        if (segment.p_type == PT_LOAD && !inside)
            return truncated("a loadable segment lies", size);
    }
    return {};
}

} // namespace rb
