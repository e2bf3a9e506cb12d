#include "EmulatedUnit.h"

#include <QDateTime>
#include <QSet>

#include <algorithm>
#include <chrono>

namespace {
// Features that show a window, tab, action, row or item of the tool; the
// unit's configuration ids bring the rest (ControlUnitSim::factoryFeatures).
const int kShowing[] = {
    14,  // two access levels
    17,  // charger type groups, exclusive charger settings
    18,  19, 34,  44,  50,  53,  55,  67,  72,  75, 77, 85, 96, 97,
    98,  // master/slave statistics rows
    99,  100, 107, 110, 111,
    159, // battery id
    162,
};
// Successive firmware ranges: a unit has one member of each pair.
const int kNewer[] = {62, 64, 71, 95};
const int kOlder[] = {61, 63, 70, 94};
// The older and newer "Last Error" wordings.
const int kNewerError = 50, kOlderError = 47;

struct VariantData
{
    const char* name;
    const char* summary;
};
const VariantData kVariants[] = {
    {"two-level", "BMS2 2.1.4.2, two access levels, the newer firmware ranges (features 62, 64, 71, 95)"},
    {"older-ranges", "as two-level with the older firmware ranges (features 61, 63, 70, 94)"},
    {"one-level", "as two-level with one access level (no feature 14)"},
    {"scib", "as two-level with an SCiB firmware (lithium-titanate cells)"},
    {"bms3", "as two-level on BMS3 hardware (its update runs through the CANopen bootloader)"},
    {"boot", "a unit that runs its bootloader only (no firmware to start)"},
};
} // namespace

QList<EmulatedUnit::Variant> EmulatedUnit::variants()
{
    QList<Variant> out;
    for (const VariantData& v : kVariants)
        out.append(Variant{QString::fromLatin1(v.name), QString::fromLatin1(v.summary)});
    return out;
}

bool EmulatedUnit::isVariant(const QString& name)
{
    for (const VariantData& v : kVariants)
        if (name == QLatin1String(v.name))
            return true;
    return false;
}

QList<int> EmulatedUnit::features(const QString& variant)
{
    if (!isVariant(variant))
        return {};
    QSet<int> set;
    for (int f : ControlUnitSim::factoryFeatures())
        set.insert(f);
    for (int f : kShowing)
        set.insert(f);
    const bool older = variant == QLatin1String("older-ranges");
    for (int i = 0; i < 4; ++i) {
        set.insert(older ? kOlder[i] : kNewer[i]);
        set.remove(older ? kNewer[i] : kOlder[i]);
    }
    set.remove(older ? kNewerError : kOlderError);
    set.insert(older ? kOlderError : kNewerError);
    if (variant == QLatin1String("one-level"))
        set.remove(14);
    QList<int> out = set.values();
    std::sort(out.begin(), out.end());
    return out;
}

QList<quint32> EmulatedUnit::featureWords(const QList<int>& features)
{
    QList<quint32> words;
    for (int f : features) {
        while (words.size() <= f / 32)
            words.append(0u);
        words[f / 32] |= 1u << (f % 32);
    }
    return words;
}

EmulatedUnit::EmulatedUnit(const QString& variant)
    : EmulatedUnit([&] {
          Options o;
          o.variant = variant;
          return o;
      }())
{
}

EmulatedUnit::EmulatedUnit(const Options& options) : options_(options)
{
    if (!isVariant(options_.variant))
        options_.variant = defaultVariant();
    const QString& v = options_.variant;
    QString kind = QStringLiteral("BMS2"), version = QStringLiteral("2.1.4.2");
    if (v == QLatin1String("scib"))
        version = QStringLiteral("2.1.4.2_SCiB");
    if (v == QLatin1String("bms3"))
        kind = QStringLiteral("BMS3");
    cu_.setVersion(options_.kind.isEmpty() ? kind : options_.kind,
                   options_.serial.isEmpty() ? QStringLiteral("0001E240") : options_.serial,
                   options_.version.isEmpty() ? version : options_.version);
    cu_.setPacing(options_.pace);
    cu_.setPassword(1, password(1));
    cu_.setPassword(2, password(2));
    cu_.setLoginLevel(options_.loginLevel);
    // Its serial bootloader takes the legacy firmware frames.
    bootloader_.reset(new BootloaderSim(cu_));
    bus_.reset(new EmulatedBus(options_.bus));
    if (!options_.bare) {
        // The whole configuration at its factory values; the pack follows
        // the store's values.
        cu_.holdFactoryConfiguration();
        const QMap<quint16, quint32> factory = ControlUnitSim::factoryConfiguration();
        for (quint16 id : {0x0010, 0x0111, 0x1600, 0x1800, 0x1E00})
            pack_.setConfigValue(id, factory.value(id));
        pack_.setLive(true);
        pack_.setLayout(options_.strings, options_.cells);
        pack_.setCellInvalid(2, 3);
        pack_.setWireBroken(1, 5);
        pack_.install(cu_);
        pack_.installConfigReplies(cu_);
        // Its past: one power-up for the statistics, the log and the uptime.
        statistics_.setUnitHistory(QDateTime::currentDateTimeUtc(), pack_.uptimeSeconds(), pack_.cellsPerString());
        statistics_.install(cu_);
        bus_->install(cu_);
    }
    const QList<int> f = features(options_.variant);
    cu_.setFeatureBitmap(f.last() + 1, featureWords(f));
    if (v == QLatin1String("boot"))
        cu_.setMode(ControlUnitSim::Mode::Bootloader);
}

EmulatedUnit::~EmulatedUnit()
{
    stop();
}

bool EmulatedUnit::start(const QString& linkPath)
{
    if (!cu_.start(linkPath))
        return false;
    if (!options_.bare && !sending_.exchange(true))
        sender_ = std::thread([this] { sendLoop(); });
    return true;
}

void EmulatedUnit::stop()
{
    sending_ = false;
    if (sender_.joinable())
        sender_.join();
    if (bus_)
        bus_->stop();
    cu_.stop();
}

void EmulatedUnit::sendLoop()
{
    int tenths = 0;
    ControlUnitSim::Mode was = cu_.mode();
    while (sending_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // The firmware started again after a reset: a new power-up for the
        // uptime, the statistics and the log alike.
        const ControlUnitSim::Mode mode = cu_.mode();
        if (mode == ControlUnitSim::Mode::Firmware && was != mode) {
            pack_.restartUptime();
            statistics_.recordStart(QDateTime::currentDateTimeUtc());
        }
        was = mode;
        // reply() sends nothing while the bootloader runs.
        if (options_.masterSlaveEverySecond && ++tenths % 10 == 0 && sending_)
            pack_.sendMasterSlave(cu_);
    }
}

QString EmulatedUnit::helpText()
{
    QString t = QStringLiteral(
        "usage: bms-sim [--variant NAME] [--link PATH] [--kind KIND] [--serial HEX] [--version VERSION]\n"
        "               [--pace] [--boot] [--level N] [--strings N] [--cells N] [--bare]\n"
        "               [--no-sensor] [--no-temperature-board] [--no-splitter] [--no-second-generation]\n"
        "  --variant NAME  the unit to emulate (default two-level), one of:\n");
    for (const Variant& v : variants())
        t += QStringLiteral("      %1%2\n").arg(v.name, -14).arg(v.summary);
    t += QStringLiteral(
        "  --link PATH   also reach the port through a symlink at PATH\n"
        "  --kind, --serial, --version  the \"VR1\" reply (default VR1,BMS2,0001E240,2.1.4.2)\n"
        "  --pace        send and receive at 57600-baud speed\n"
        "  --boot        start in the bootloader (same as --variant boot)\n"
        "  --level N     login level at start (0, 1 or 2)\n"
        "  --strings N, --cells N  the pack's layout (default 4 x 16)\n"
        "  --bare        no pack: answer only the link's own sentences\n");
    t += EmulatedBus::optionsHelp();
    t += QStringLiteral(
        "Passwords: level 1 \"%1\", level 2 \"%2\" (\"Set password...\" changes them while it runs).\n"
        "Reset BMS: the bootloader asks \"#?\"; it waits 5 s (30 s on BMS3) for an update, then starts the\n"
        "firmware again.\n")
             .arg(password(1), password(2));
    return t;
}

bool EmulatedUnit::parseArguments(const QStringList& args, Options* o, QString* linkPath, QStringList* rest,
                                  QString* error)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args[i];
        auto next = [&](QString* out) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("%1 needs a value").arg(a);
                return false;
            }
            *out = args[++i];
            return true;
        };
        auto number = [&](int* out, int low, int high) {
            QString text;
            if (!next(&text))
                return false;
            bool ok = false;
            const int n = text.toInt(&ok);
            if (!ok || n < low || n > high) {
                *error = QStringLiteral("%1 takes %2 to %3, not \"%4\"").arg(a).arg(low).arg(high).arg(text);
                return false;
            }
            *out = n;
            return true;
        };
        bool ok = true;
        if (a == QLatin1String("--variant")) {
            ok = next(&o->variant);
            if (ok && !isVariant(o->variant)) {
                *error = QStringLiteral("no variant \"%1\"").arg(o->variant);
                ok = false;
            }
        } else if (a == QLatin1String("--link")) {
            ok = next(linkPath);
        } else if (a == QLatin1String("--kind")) {
            ok = next(&o->kind);
        } else if (a == QLatin1String("--serial")) {
            ok = next(&o->serial);
        } else if (a == QLatin1String("--version")) {
            ok = next(&o->version);
        } else if (a == QLatin1String("--pace")) {
            o->pace = true;
        } else if (a == QLatin1String("--boot")) {
            o->variant = QStringLiteral("boot");
        } else if (a == QLatin1String("--level")) {
            ok = number(&o->loginLevel, 0, 2);
        } else if (a == QLatin1String("--strings")) {
            ok = number(&o->strings, 1, 31);
            o->bus.strings = quint8(o->strings);
        } else if (a == QLatin1String("--cells")) {
            ok = number(&o->cells, 1, 255);
            o->bus.cells = quint8(o->cells);
        } else if (a == QLatin1String("--bare")) {
            o->bare = true;
        } else if (EmulatedBus::parseOption(a, o->bus)) {
        } else {
            rest->append(a);
        }
        if (!ok)
            return false;
    }
    return true;
}
