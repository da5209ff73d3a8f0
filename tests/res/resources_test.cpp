// The embedded resources: every id the program loads exists at its size, skin bitmaps key
// their transparent parts with magenta, a missing id is empty, and the binary menu and
// accelerator table 132 hold the frame's four commands.
#include "platform/resources.h"

#include <gtest/gtest.h>

#include <QtEndian>

namespace {

struct SizedIds {
    std::vector<int> ids;
    QSize size;
};

bool HasMagenta(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            if ((rgb.pixel(x, y) & 0xFFFFFF) == 0xFF00FF) {
                return true;
            }
        }
    }
    return false;
}

std::vector<int> Range(int first, int last) {
    std::vector<int> ids;
    for (int id = first; id <= last; ++id) {
        ids.push_back(id);
    }
    return ids;
}

}  // namespace

TEST(Resources, EveryBitmapExistsAtItsSize) {
    std::vector<int> pageButtons51 = Range(236, 245);
    for (int id : Range(254, 281)) {
        pageButtons51.push_back(id);
    }
    const std::vector<SizedIds> bitmaps = {
        {pageButtons51, QSize(51, 24)},
        {Range(246, 253), QSize(91, 24)},
        {Range(209, 211), QSize(16, 16)},
        {Range(286, 288), QSize(50, 18)},
        {{224, 218, 219}, QSize(6, 76)},
        {{217}, QSize(5, 76)},
        {{222}, QSize(2, 76)},
        {{227, 223}, QSize(2, 88)},
        {{284}, QSize(18, 18)},
        {Range(296, 307), QSize(70, 45)},
        {{289, 290}, QSize(150, 140)},
    };
    for (const SizedIds& group : bitmaps) {
        for (int id : group.ids) {
            const QPixmap pixmap = LoadBitmapResource(id);
            ASSERT_FALSE(pixmap.isNull()) << "bitmap " << id;
            EXPECT_EQ(pixmap.size(), group.size) << "bitmap " << id;
            EXPECT_EQ(LoadBitmapImage(id).size(), group.size) << "bitmap " << id;
        }
    }
}

TEST(Resources, IconsExistAtTheirSizes) {
    for (int id : {136, 137, 140, 142, 143, 144}) {
        const QIcon icon = LoadIconResource(id);
        ASSERT_FALSE(icon.isNull()) << "icon " << id;
        EXPECT_EQ(icon.availableSizes().value(0), QSize(16, 16)) << "icon " << id;
        EXPECT_FALSE(icon.pixmap(16, 16).isNull()) << "icon " << id;
    }
    const QIcon application = LoadIconResource(293);
    ASSERT_FALSE(application.isNull());
    const QList<QSize> sizes = application.availableSizes();
    for (int side : {16, 32, 48, 256}) {
        EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
    }
}

TEST(Resources, SkinBitmapsKeyTheirOutsideWithMagenta) {
    // Rounded buttons and tab items: the corner pixel is transparent, the middle is not.
    for (int id : {236, 249, 209, 286, 296, 307}) {
        const QImage image = LoadBitmapImage(id).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0xFF00FFu) << id;
    }
    const QImage create = LoadBitmapImage(236).convertToFormat(QImage::Format_RGB32);
    EXPECT_NE(create.pixel(25, 12) & 0xFFFFFF, 0xFF00FFu);
    // The frame's corner pieces cut the window's rounded corners; edges never do.
    for (int id : {224, 217, 218, 219}) {
        EXPECT_TRUE(HasMagenta(LoadBitmapImage(id))) << id;
    }
    for (int id : {222, 227, 223, 289, 290}) {
        EXPECT_FALSE(HasMagenta(LoadBitmapImage(id))) << id;
    }
    const QImage topLeft = LoadBitmapImage(224).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(topLeft.pixel(0, 0) & 0xFFFFFF, 0xFF00FFu);
    EXPECT_NE(topLeft.pixel(5, 5) & 0xFFFFFF, 0xFF00FFu);
}

TEST(Resources, MissingIdsAreEmpty) {
    EXPECT_TRUE(LoadBitmapResource(1).isNull());
    EXPECT_TRUE(LoadBitmapImage(-5).isNull());
    EXPECT_TRUE(LoadIconResource(999).isNull());
    EXPECT_TRUE(LoadMenuResource(133).isEmpty());
    EXPECT_TRUE(LoadAcceleratorTable(7).empty());
}

// Walks a binary menu template the way a menu loader does and lists (depth, flags, id, text).
struct MenuItem {
    int depth;
    int flags;
    int id;
    QString text;
};

std::vector<MenuItem> ParseMenu(const QByteArray& data) {
    std::vector<MenuItem> items;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const qsizetype size = data.size();
    if (size < 4) {
        return items;
    }
    qsizetype at = 4 + qFromLittleEndian<quint16>(bytes + 2);
    std::vector<bool> levelDone = {false};
    auto word = [&]() {
        const quint16 value = at + 2 <= size ? qFromLittleEndian<quint16>(bytes + at) : 0;
        at += 2;
        return value;
    };
    while (!levelDone.empty() && at < size) {
        MenuItem item;
        item.depth = static_cast<int>(levelDone.size()) - 1;
        item.flags = word();
        const bool popup = (item.flags & 0x10) != 0;
        item.id = popup ? 0 : word();
        for (quint16 c = word(); c != 0 && at <= size; c = word()) {
            item.text.append(QChar(c));
        }
        items.push_back(item);
        const bool ends = (item.flags & 0x80) != 0;
        if (popup) {
            if (ends) {
                levelDone.back() = true;
            }
            levelDone.push_back(false);
        } else if (ends) {
            levelDone.pop_back();
            while (!levelDone.empty() && levelDone.back()) {
                levelDone.pop_back();
            }
        }
    }
    return items;
}

TEST(Resources, MenuResourceHoldsThePopupWithItsFourCommands) {
    const QByteArray data = LoadMenuResource(132);
    ASSERT_FALSE(data.isEmpty());
    EXPECT_EQ(qFromLittleEndian<quint16>(data.constData()), 0);  // version
    const std::vector<MenuItem> items = ParseMenu(data);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].depth, 0);
    EXPECT_EQ(items[0].flags, 0x90);  // popup, last of its level
    EXPECT_EQ(items[0].text, QStringLiteral("设置(&M)"));
    const std::vector<std::pair<int, QString>> expected = {
        {32777, QStringLiteral("设置        (&Alt+S)")},
        {32778, QStringLiteral("帮助        (&Alt+H)")},
        {32779, QStringLiteral("关于        (&Alt+A)")},
        {32780, QStringLiteral("退出        (&Alt+X)")},
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        const MenuItem& item = items[i + 1];
        EXPECT_EQ(item.depth, 1);
        EXPECT_EQ(item.id, expected[i].first);
        EXPECT_EQ(item.text, expected[i].second);
        EXPECT_EQ(item.flags, i + 1 == expected.size() ? 0x80 : 0);
    }
    // Nothing follows the end of the menu.
    qsizetype consumed = 4;
    for (const MenuItem& item : items) {
        consumed += 2 + ((item.flags & 0x10) ? 0 : 2) + (item.text.size() + 1) * 2;
    }
    EXPECT_EQ(consumed, data.size());
}

TEST(Resources, AcceleratorTableMapsAltLettersToTheMenuCommands) {
    const std::vector<AcceleratorEntry> table = LoadAcceleratorTable(132);
    ASSERT_EQ(table.size(), 4u);
    const std::vector<std::pair<int, int>> expected = {
        {'S', 32777}, {'H', 32778}, {'A', 32779}, {'X', 32780}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(table[i].alt);
        EXPECT_FALSE(table[i].control);
        EXPECT_FALSE(table[i].shift);
        EXPECT_EQ(table[i].virtualKey, expected[i].first);
        EXPECT_EQ(table[i].commandId, expected[i].second);
    }
}
