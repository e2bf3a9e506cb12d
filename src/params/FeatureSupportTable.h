#pragma once

#include <QMultiMap>
#include <QString>

#include <cstdint>

// Feature id -1 has two meanings, kept apart here:
// - a caller that gates nothing on firmware passes kNoFeature and does not
//   ask the table at all (a row registered "without feature" stays shown);
// - an id the table is asked about and that is never supported, bitmap or
//   not, is kUnsupportedFeature (an editor or widget entry left without an
//   id counts as unsupported).
inline constexpr int kNoFeature = -1;
inline constexpr int kUnsupportedFeature = -1;

// Whether a caller's feature id asks for a firmware check at all.
inline bool requiresFeature(int featureId) { return featureId != kNoFeature; }

// The connected unit's own parameter-support bitmap ("FP1"). It lives with
// the link session; the application hands the table an object that reads it.
// Implementations take whatever lock guards the bitmap inside each call.
class FeatureBitmapSource
{
public:
    virtual ~FeatureBitmapSource() = default;
    // True while a bitmap from the connected unit is held.
    virtual bool isFeatureBitmapValid() const = 0;
    // Word `index` of the bitmap; false when the bitmap does not hold it.
    virtual bool featureBitmapWord(int index, uint32_t* word) const = 0;
};

// One version row of a feature.
struct FeatureSupportRecord
{
    QString firstVersion;     // inclusive; may carry Test, RCn and SpecialCasen markers
    QString endVersion;       // exclusive; empty = no upper end
    QString requiredEditions; // comma-separated; one must occur in the version text
    QString excludedVersions; // comma-separated; an occurrence refuses the version
};

// "2.0.19_RC7" -> 2001907; 0 for a text that is not a version.
uint32_t parseFirmwareVersion(const QString& version);

// Which control-unit firmware supports which feature: the unit's bitmap when
// it sent one, else the version rows compiled in here. Read-only after
// construction; GUI thread.
class FeatureSupportTable
{
public:
    explicit FeatureSupportTable(const FeatureBitmapSource* bitmap = nullptr);
    virtual ~FeatureSupportTable();
    FeatureSupportTable(const FeatureSupportTable&) = delete;
    FeatureSupportTable& operator=(const FeatureSupportTable&) = delete;

    // The application connects the link session's bitmap here; null = none.
    void setBitmapSource(const FeatureBitmapSource* bitmap) { m_bitmap = bitmap; }

    bool isFeatureSupported(int featureId, const QString& version) const;
    // The version rows alone, without the bitmap.
    bool isSupportedByVersion(int featureId, const QString& version) const;
    // The bitmap alone; false when there is no valid bitmap.
    bool isFeatureReportedByDevice(int featureId) const;
    static bool rowRejectsVersion(const FeatureSupportRecord& row, const QString& version);

    const QMultiMap<int, FeatureSupportRecord>& rows() const { return m_rows; }

private:
    bool hasBitmap() const;
    bool bitmapBit(int featureId) const;

    QMultiMap<int, FeatureSupportRecord> m_rows;
    const FeatureBitmapSource* m_bitmap = nullptr;
};
