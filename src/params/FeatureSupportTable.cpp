#include "FeatureSupportTable.h"

#include "FieldText.h"

#include <QStringList>

#include <initializer_list>

namespace {

constexpr uint32_t kVersion2_0_0 = 2000000;
constexpr uint32_t kVersion2_1_0 = 2010000;
constexpr uint32_t kVersion2_1_0_RC1 = 2010001;
constexpr uint32_t kAboveEveryVersion = 9999999;

uint32_t decimalOrZero(const QString& text)
{
    uint32_t v = 0;
    return FieldText::readDec32(text, &v) ? v : 0;
}

bool containsAny(const QString& list, const QString& text)
{
    for (const QString& item : list.split(QLatin1Char(','))) {
        // An empty item would occur in every text.
        if (!item.isEmpty() && text.contains(item))
            return true;
    }
    return false;
}

// The number of an early test build "2.1.0_Testn": the text after the first
// lowercase t up to the next one; 0 when that is not a number.
uint32_t earlyTestNumber(const QString& version)
{
    const int t = version.indexOf(QLatin1Char('t'));
    if (t < 0)
        return 0;
    const int next = version.indexOf(QLatin1Char('t'), t + 1);
    return decimalOrZero(version.mid(t + 1, next < 0 ? -1 : next - t - 1));
}

} // namespace

uint32_t parseFirmwareVersion(const QString& version)
{
    if (version.isEmpty())
        return 0;
    const QStringList parts = version.split(QLatin1Char('.'));
    if (parts.size() != 3 && parts.size() != 4)
        return 0;
    const uint32_t a = decimalOrZero(parts.at(0));
    const uint32_t b = decimalOrZero(parts.at(1));
    uint32_t c;
    QString tail;
    if (parts.size() == 3) {
        const int underscore = parts.at(2).indexOf(QLatin1Char('_'));
        c = decimalOrZero(underscore < 0 ? parts.at(2) : parts.at(2).left(underscore));
        tail = parts.at(2);
    } else {
        c = decimalOrZero(parts.at(2));
        tail = parts.at(3);
    }
    uint32_t r = 0;
    const QStringList pieces = tail.split(QLatin1Char('_'));
    if (pieces.size() >= 2) {
        for (const QString& piece : pieces) {
            if (piece.startsWith(QLatin1String("RC")))
                r = decimalOrZero(piece.mid(piece.indexOf(QLatin1Char('C')) + 1));
        }
    }
    return a * 1000000u + b * 10000u + c * 100u + r;
}

FeatureSupportTable::FeatureSupportTable(const FeatureBitmapSource* bitmap)
    : m_bitmap(bitmap)
{
    auto add = [this](std::initializer_list<int> ids, const char* first, const char* end,
                      const char* required = "", const char* excluded = "") {
        for (int id : ids)
            m_rows.insert(id, FeatureSupportRecord{QString::fromLatin1(first), QString::fromLatin1(end),
                                                   QString::fromLatin1(required), QString::fromLatin1(excluded)});
    };
    const char* onward = "";

    add({0, 4, 5, 6, 32, 33, 77, 84}, "2.0.0", onward);
    add({1}, "2.0.21.0_SpecialCase8", onward);
    add({2, 15, 26}, "2.0.0", "2.0.21.0");
    add({3, 13, 14, 16, 18, 24, 28, 71}, "2.0.21.0", onward);
    add({7, 88}, "2.1.0_Test1", onward);
    add({8}, "2.1.0_Test6", onward);
    add({9}, "2.1.0_RC1", onward);
    add({10}, "2.1.0_Test9", onward);
    add({11}, "2.0.0", "2.0.19_RC7");
    add({12}, "2.0.19_RC7", "2.0.21.0");
    add({17}, "2.0.17_RC1", onward);
    add({19, 46, 59, 64, 67, 99}, "2.0.20_RC1", onward);
    add({20}, "2.0.19_RC5", "2.0.21.0");
    add({21}, "2.0.18_RC1", "2.0.19_RC5");
    add({22}, "2.0.17_RC1", "2.0.18_RC1");
    add({23}, "2.0.0", "2.0.17_RC1");
    add({25, 30}, "2.0.19_RC5", onward);
    add({27}, "2.0.6", "2.0.21.0");
    add({29}, "2.0.6", onward);
    add({31}, "2.1.0_Test15", onward);
    add({34, 50, 62, 66}, "2.0.19_RC9", onward);
    add({35, 44, 57, 60}, "2.0.19_RC3", onward);
    add({36}, "2.0.0_SpecialCase8", "2.0.19_RC3");
    add({37}, "2.0.19_RC3_SpecialCase8", onward);
    add({38, 43, 45, 65, 83}, "2.0.19_RC7", onward);
    add({39, 68}, "2.0.18_RC7_SpecialCase9", onward);
    add({40, 69}, "2.0.18_RC7_SpecialCase9", "2.0.19_RC3");
    add({41}, "2.0.19_RC3_SpecialCase9", onward);
    add({42}, "2.0.17_RC1_SpecialCase3", onward);
    add({47}, "2.0.0", "2.0.19_RC9");
    add({48}, "2.0.19_RC9", "2.0.21.2");
    add({49}, "2.0.21.2", "2.5.0.0");
    add({51}, "2.0.0", "2.0.17_RC1_SpecialCase1");
    add({52}, "2.0.17_RC1_SpecialCase1", onward);
    add({53}, "2.0.18_RC1", onward);
    add({54}, "2.0.17_RC1_SpecialCase1", "2.1.2_RC3");
    add({55, 89, 93}, "2.1.2_RC3", onward);
    add({56}, "2.0.18", onward);
    add({58}, "2.0.20_RC2", onward);
    add({61}, "2.0.19_RC3", "2.0.19_RC9");
    add({63}, "2.0.19_RC3", "2.0.20_RC1");
    add({70}, "2.0.19_RC3_SpecialCase9", "2.0.21.0");
    add({72}, "2.0.21.2", onward);
    add({72}, "2.1.4.2", onward);
    add({73}, "2.0.0", "2.0.19_RC3");
    add({74}, "2.0.17_RC1_SpecialCase3", "2.0.19_RC3");
    add({75}, "2.1.0_Test11", onward);
    add({76}, "2.1.0_Test11", "2.0.19_RC3");
    add({78}, "2.1.0", "2.1.2_RC13");
    add({78}, "2.0.18_RC1", "2.0.24.0");
    add({79}, "2.1.3_RC5", onward);
    add({79}, "2.0.24.0", onward);
    add({80}, "2.1.2_RC13", "2.1.3_RC5");
    add({81}, "2.1.2_RC13", onward);
    add({81}, "2.0.24.0", onward);
    add({82}, "2.0.0", "2.0.18_RC1");
    add({85}, "2.3.0.0", onward);
    add({86}, "2.1.2_RC15_SpecialCase11", onward);
    add({87}, "2.1.2_RC15", onward);
    add({90}, "2.1.2_RC6", onward);
    add({91}, "2.1.0_Test13", onward);
    add({92}, "2.1.1_RC6", onward);
    add({94}, "2.1.0_Test1_SpecialCase5", onward);
    add({95}, "2.1.0_Test1_SpecialCase6", onward);
    add({96}, "2.1.0_Test12", onward);
    add({97}, "2.0.0", "2.0.18_RC1_SpecialCase2");
    add({98}, "2.0.19_RC12", onward);
    add({100}, "2.0.19_RC13", onward);
    add({101}, "2.0.20_RC41", "2.0.21.0");
    add({102, 103}, "2.1.28.0", onward);
    add({104, 106, 109}, "2.2.0.0", onward);
    add({105}, "2.1.27.0", onward, "Reririd,vUROD");
    add({107}, "2.1.27.0", onward);
    add({108}, "2.1.5.12", onward);
    add({110, 111}, "2.5.0.0", onward);
    add({112, 113, 115, 143}, "2.6.0.0", onward);
    add({114}, "2.1.6.0", onward, "", "2.1.26");
    add({149}, "2.7.5.23", onward);
}

FeatureSupportTable::~FeatureSupportTable() = default;

bool FeatureSupportTable::hasBitmap() const { return m_bitmap && m_bitmap->isFeatureBitmapValid(); }

bool FeatureSupportTable::bitmapBit(int featureId) const
{
    if (featureId < 0)
        return false;
    uint32_t word = 0;
    if (!m_bitmap->featureBitmapWord(featureId / 32, &word))
        return false; // a word the unit did not send: not supported
    return (word >> (featureId % 32)) & 1u;
}

bool FeatureSupportTable::isFeatureSupported(int featureId, const QString& version) const
{
    if (featureId == kUnsupportedFeature)
        return false;
    if (hasBitmap())
        return bitmapBit(featureId);
    return isSupportedByVersion(featureId, version);
}

bool FeatureSupportTable::isFeatureReportedByDevice(int featureId) const
{
    return hasBitmap() && bitmapBit(featureId);
}

bool FeatureSupportTable::isSupportedByVersion(int featureId, const QString& version) const
{
    for (auto it = m_rows.constFind(featureId); it != m_rows.cend() && it.key() == featureId; ++it) {
        if (!rowRejectsVersion(it.value(), version))
            return true;
    }
    return false;
}

bool FeatureSupportTable::rowRejectsVersion(const FeatureSupportRecord& row, const QString& version)
{
    const QString& first = row.firstVersion;
    const QString& end = row.endVersion;
    uint32_t v = parseFirmwareVersion(version);
    uint32_t f = parseFirmwareVersion(first);
    uint32_t t = parseFirmwareVersion(end);

    // Test builds sit just above the 2.1.0 release line.
    const bool firstIsTest = first.contains(QLatin1String("Test"), Qt::CaseInsensitive);
    const bool versionIsTest = version.contains(QLatin1String("Test"), Qt::CaseInsensitive);
    if (firstIsTest && !versionIsTest)
        f = kVersion2_1_0;
    if (!firstIsTest && versionIsTest && !version.startsWith(QLatin1String("2.0.16_RC6_Test")))
        v = kVersion2_1_0_RC1;

    // Early test builds that lacked some features.
    if (version.startsWith(QLatin1String("2.1.0_Test"))) {
        const uint32_t n = earlyTestNumber(version);
        if (n <= 4 && (first == QLatin1String("2.0.17_RC1_SpecialCase1") ||
                       end == QLatin1String("2.0.17_RC1_SpecialCase1")))
            v = kVersion2_0_0;
        if (n <= 8 && first.contains(QLatin1String("SpecialCase3")))
            v = kVersion2_0_0;
    }

    // Single test builds.
    if (version == QLatin1String("2.1.0_Test8") && first == QLatin1String("2.1.0_Test1_SpecialCase5"))
        v = kVersion2_0_0;
    if (first == QLatin1String("2.1.0_Test1_SpecialCase6") && version != QLatin1String("2.1.0_Test8"))
        v = kVersion2_0_0;
    if (version == QLatin1String("2.1.0_Test8") && first == QLatin1String("2.1.0_Test6"))
        v = kVersion2_0_0;
    if (first == QLatin1String("2.1.0_Test6_SpecialCase7") && version != QLatin1String("2.1.0_Test8"))
        f = kAboveEveryVersion;

    // Customer editions.
    const bool redazadOrRevov = version.contains(QLatin1String("Redazad")) || version.contains(QLatin1String("Revov"));
    const bool vivivado = version.contains(QLatin1String("Vivivado"));
    if (first.contains(QLatin1String("SpecialCase8")) && redazadOrRevov)
        f = kAboveEveryVersion;
    if (first.contains(QLatin1String("SpecialCase9")) && !redazadOrRevov)
        v = kVersion2_0_0;
    if (first.contains(QLatin1String("SpecialCase10")) && vivivado)
        f = kAboveEveryVersion;
    if (first.contains(QLatin1String("SpecialCase11")) && !vivivado)
        v = kVersion2_0_0;

    if (first.startsWith(QLatin1String("2.0.18")) &&
        (version.startsWith(QLatin1String("2.1.0")) || version.startsWith(QLatin1String("2.0.16_RC6_Test"))))
        v = kVersion2_0_0;

    if (first.startsWith(QLatin1String("2.0.6")) && v >= 2000600 && v <= 2000999 &&
        !version.contains(QLatin1String("Eltek"), Qt::CaseInsensitive))
        v = kVersion2_0_0;

    if (version.startsWith(QLatin1String("2.1.0_RC1")) && first == QLatin1String("2.1.0_Test13")) {
        v = kVersion2_0_0;
    } else if (v > kVersion2_1_0) {
        // The 2.0 line's bounds from 2.0.17_RC1 on map onto the 2.1 line.
        if (f >= 2001701 && f <= 2009999)
            f += 8300;
        if (t >= 2001701 && t <= 2009999)
            t += 8300;
    }

    if (v < f || (!end.isEmpty() && v >= t))
        return true;

    bool rejected = !row.excludedVersions.isEmpty() && containsAny(row.excludedVersions, version);
    if (!row.requiredEditions.isEmpty())
        rejected = !containsAny(row.requiredEditions, version);
    return rejected;
}
