#pragma once

#include <QString>
#include <QWidget>

class QByteArray;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QStatusBar;
class QTimer;
class Parser;
class Proto;
class config;
class myRadioBox;
class usbport;

// The display unit panel: firmware version and serial number, the unit's
// settings (contrast, sleep time, temperature units, display mode), the
// one-time serial number in factory mode and the firmware upgrade from an
// ".img" file. It owns the unit's link: port, packet layer, reply handler
// and parameter registry.
class DisplayUnit : public QWidget
{
    Q_OBJECT
    friend class Parser;

public:
    explicit DisplayUnit(QWidget* parent = nullptr);
    ~DisplayUnit() override;

    void startUpgrade();
    void burnSerialNumber();
    void writeParam(int id);
    void setControlsEnabled(bool settings, bool upgrade);
    void stopPort();
    void stopPortScan();
    // Its page was left for another one: the port search ends, and the port
    // closes unless an upgrade still runs on it. pageReturned starts again
    // what pageLeft stopped.
    void pageLeft();
    void pageReturned();

    bool eventFilter(QObject* watched, QEvent* event) override;

    // The conversation's flags, read and written by the reply handler.
    struct Flags
    {
        bool answered = false;
        bool serialReplied = false;
        bool versionReplied = false;
        bool bootSeen = false;
        bool paramsLoaded = false;
        bool eraseAcked = false;
        bool eraseOk = false;
        bool writeAcked = false;
        bool writeOk = false;
        bool upgradeRequested = false;
    };
    const Flags& flags() const { return f; }

    usbport* port() const { return portObject; }
    Proto* packetLink() const { return proto; }
    Parser* replyHandler() const { return parser; }
    QStatusBar* statusBar() const { return status; }
    QLabel* firmwareVersionLabel() const { return versionLabel; }
    QLabel* serialNumberLabel() const { return serialLabel; }
    QLabel* fileNameLabel() const { return fileLabel; }
    QLabel* imageVersionLabel() const { return imageVersion; }
    QLabel* releaseDateLabel() const { return releaseDate; }
    QLineEdit* sleepTimeEdit() const { return sleepEdit; }
    QSlider* contrastSlider() const { return slider; }
    myRadioBox* unitsBox() const { return units; }
    myRadioBox* modeBox() const { return mode; }
    QGroupBox* settingsPanel() const { return settings; }
    QPushButton* uploadButton() const { return upload; }
    QPushButton* upgradeButton() const { return upgrade; }
    QPushButton* burnButton() const { return burn; }
    QLineEdit* serialNumberEdit() const { return serialEdit; }
    QProgressBar* progressBar() const { return progress; }
    QByteArray* imageBuffer() const { return imageData; }
    QTimer* upgradeTimeout() const { return upgradeTimer; }

public slots:
    void extractMetaData();
    void openConfigPage();

signals:
    void updateProgress(int percent);
    void windowClosed();

protected:
    // The questions and boxes of the panel; tests answer them without a
    // modal box.
    virtual QString askImageFile();
    // A warning box; with onWindow it is modal to this window, else it has
    // no parent.
    virtual void warn(bool onWindow, const QString& title, const QString& text);
    virtual bool confirmSerialBurn();

private:
    void buildWidgets();
    void identified();
    void showInvalidImage();
    void sleepTimeEntered();

    QStatusBar* status = nullptr;
    QPushButton* upload = nullptr;
    QPushButton* upgrade = nullptr;
    QGroupBox* settings = nullptr;
    myRadioBox* units = nullptr;
    myRadioBox* mode = nullptr;
    QLabel* versionLabel = nullptr;
    QLabel* serialLabel = nullptr;
    QLabel* fileLabel = nullptr;
    QLabel* imageVersion = nullptr;
    QLabel* releaseDate = nullptr;
    QLineEdit* sleepEdit = nullptr;
    QSlider* slider = nullptr;
    QPushButton* burn = nullptr;
    QLineEdit* serialEdit = nullptr;
    QProgressBar* progress = nullptr;
    QString imagePath;
    Proto* proto = nullptr;
    usbport* portObject = nullptr;
    Flags f;
    config* registry = nullptr;
    Parser* parser = nullptr;
    QByteArray* imageData = nullptr;
    QTimer* upgradeTimer = nullptr;
    QTimer* identifyTimer = nullptr;
};
