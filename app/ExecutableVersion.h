// The version record of an executable file, read from the file itself: on
// this platform an ELF section named kVersionSection holding one
// FixedFileVersion. The calls follow the usual version-information steps:
// ask the size, read the record, query its root block.
#pragma once

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QString>

inline constexpr char kVersionSection[] = ".kestro_version";
inline constexpr std::uint32_t kFixedFileVersionSignature = 0xFEEF04BD;

// Version words as a pair of 32-bit numbers each: the most significant word
// holds major (high 16 bits) and minor, the least significant one release and
// build.
struct FixedFileVersion {
    std::uint32_t signature;
    std::uint32_t structVersion;
    std::uint32_t fileVersionMS;
    std::uint32_t fileVersionLS;
    std::uint32_t productVersionMS;
    std::uint32_t productVersionLS;
};

// Size in bytes of the file's version record; 0 when it has none or can't be read.
std::uint32_t FileVersionInfoSize(const QString &path);

// The record itself, `size` bytes as FileVersionInfoSize gave; empty on failure.
QByteArray FileVersionInfo(const QString &path, std::uint32_t size);

// The fixed file information of the record's root block ("\"), when the
// record holds a valid one.
std::optional<FixedFileVersion> QueryRootBlock(const QByteArray &info);
