// The log lines of the chip operations as the window tests compare them:
// elapsed times written as N, since how long an operation took is not what
// they check.
#pragma once

#include <QString>

inline const QString kElapsed = QStringLiteral("用时:N秒");
inline const QString kReading = QStringLiteral("正在读取数据，请稍等...");
inline const QString kReadDone = QStringLiteral("读取数据已完成...");
inline const QString kWriteBanner = QStringLiteral("------------------- 写入模式 -------------------");
inline const QString kWriting = QStringLiteral("正在写数据，请稍等...");
inline const QString kWritten = QStringLiteral("写数据已完成...");
inline const QString kErasing = QStringLiteral("正在擦除芯片，请稍等...");
inline const QString kEraseDone = QStringLiteral("擦除芯片完成...");
inline const QString kEraseFailed = QStringLiteral("擦除芯片失败...");
inline const QString kVerifyBanner = QStringLiteral("------------------- 校验模式 -------------------");
inline const QString kSame = QStringLiteral("芯片中的数据与缓存中的数据一致！");
