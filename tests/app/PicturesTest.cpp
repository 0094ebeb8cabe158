// The pictures built into the program: each is drawn at its size from its
// vector source and holds a drawing, not an empty page.
#include <algorithm>

#include <QColor>
#include <QHash>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "CaseName.h"
#include "pictures/Pictures.h"

namespace {

struct PictureCase {
    const char *name;
    QString path;
    QSize size;  // empty: the picture's natural size
    QSize expected;
};

class BuiltInPicture : public ::testing::TestWithParam<PictureCase> {};

TEST_P(BuiltInPicture, RendersToAPngThatIsNotBlank) {
    const PictureCase &c = GetParam();
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("picture.png"));
    ASSERT_TRUE(RenderPicture(c.path, c.size).save(file, "PNG"));

    const QImage image(file);
    ASSERT_EQ(image.size(), c.expected);
    QHash<QRgb, int> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) ++colours[image.pixel(x, y)];
    }
    int background = 0;
    for (const int count : colours) background = std::max(background, count);
    const int drawn = image.width() * image.height() - background;
    // Lines, text and shapes, not a stray dot.
    EXPECT_GE(colours.size(), 3);
    EXPECT_GT(drawn, image.width() * image.height() / 50) << drawn << " pixels differ from the background";
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, BuiltInPicture,
    ::testing::Values(PictureCase{"SpiWiring", kSpiWiringPicture, {}, {407, 490}},
                      PictureCase{"I2cWiring", kI2cWiringPicture, {}, {627, 513}},
                      PictureCase{"AboutIcon", kAboutIconPicture, {65, 57}, {65, 57}}),
    CaseName());

TEST(BuiltInPicture, AMissingPictureIsNull) {
    EXPECT_TRUE(RenderPicture(QStringLiteral(":/pictures/none.svg")).isNull());
}

}  // namespace
