#include "ExecutableVersion.h"

#include <cstring>
#include <elf.h>

#include <QFile>

namespace {

struct Section {
    std::uint64_t offset;
    std::uint64_t size;
};

// Reads `count` bytes at `offset`; false when the file is shorter.
bool ReadAt(QFile &file, std::uint64_t offset, void *target, std::uint64_t count) {
    if (offset > static_cast<std::uint64_t>(file.size()) ||
        count > static_cast<std::uint64_t>(file.size()) - offset) {
        return false;
    }
    return file.seek(static_cast<qint64>(offset)) &&
           file.read(static_cast<char *>(target), static_cast<qint64>(count)) == static_cast<qint64>(count);
}

// The version section among the headers of one ELF class.
template <typename Ehdr, typename Shdr>
std::optional<Section> FindVersionSection(QFile &file) {
    Ehdr header{};
    if (!ReadAt(file, 0, &header, sizeof header) || header.e_shentsize != sizeof(Shdr) ||
        header.e_shstrndx >= header.e_shnum) {
        return std::nullopt;
    }
    const auto sectionHeader = [&](std::uint64_t index, Shdr &section) {
        return ReadAt(file, header.e_shoff + index * sizeof(Shdr), &section, sizeof section);
    };
    Shdr names{};
    if (!sectionHeader(header.e_shstrndx, names)) {
        return std::nullopt;
    }
    constexpr std::uint64_t nameLength = sizeof kVersionSection;  // with its terminating zero
    for (std::uint64_t index = 0; index < header.e_shnum; ++index) {
        Shdr section{};
        if (!sectionHeader(index, section) || section.sh_name >= names.sh_size ||
            names.sh_size - section.sh_name < nameLength) {
            continue;
        }
        char name[nameLength] = {};
        if (ReadAt(file, names.sh_offset + section.sh_name, name, nameLength) &&
            std::memcmp(name, kVersionSection, nameLength) == 0 && section.sh_type == SHT_PROGBITS) {
            return Section{section.sh_offset, section.sh_size};
        }
    }
    return std::nullopt;
}

std::optional<Section> OpenVersionSection(const QString &path, QFile &file) {
    file.setFileName(path);
    unsigned char ident[EI_NIDENT] = {};
    if (!file.open(QIODevice::ReadOnly) || !ReadAt(file, 0, ident, sizeof ident) ||
        std::memcmp(ident, ELFMAG, SELFMAG) != 0 || ident[EI_DATA] != ELFDATA2LSB) {
        return std::nullopt;
    }
    switch (ident[EI_CLASS]) {
    case ELFCLASS64:
        return FindVersionSection<Elf64_Ehdr, Elf64_Shdr>(file);
    case ELFCLASS32:
        return FindVersionSection<Elf32_Ehdr, Elf32_Shdr>(file);
    default:
        return std::nullopt;
    }
}

}  // namespace

std::uint32_t FileVersionInfoSize(const QString &path) {
    QFile file;
    const auto section = OpenVersionSection(path, file);
    if (!section || section->size > UINT32_MAX) {
        return 0;
    }
    return static_cast<std::uint32_t>(section->size);
}

QByteArray FileVersionInfo(const QString &path, std::uint32_t size) {
    QFile file;
    const auto section = OpenVersionSection(path, file);
    QByteArray info(static_cast<qsizetype>(size), '\0');
    if (!section || section->size != size || !ReadAt(file, section->offset, info.data(), size)) {
        return {};
    }
    return info;
}

std::optional<FixedFileVersion> QueryRootBlock(const QByteArray &info) {
    FixedFileVersion version{};
    if (static_cast<std::size_t>(info.size()) < sizeof version) {
        return std::nullopt;
    }
    std::memcpy(&version, info.constData(), sizeof version);
    if (version.signature != kFixedFileVersionSignature) {
        return std::nullopt;
    }
    return version;
}
