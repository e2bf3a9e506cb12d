// Access levels from the unit's "PW1" replies, the buttons and editors each
// level enables, and the login, logout and set-password actions.
#include "ConfigPage.h"

#include "ConfigParam.h"
#include "ConfigPrompter.h"
#include "MainWindowServices.h"
#include "Tip.h"
#include "Y5ProtocolHandler.h"

#include <QCoreApplication>
#include <QPushButton>

namespace {

// A password travels as a sentence field: no comma, no control character,
// nothing outside Latin-1.
bool isSendablePassword(const QString& password)
{
    for (QChar c : password)
        if (c == QLatin1Char(',') || c.unicode() < 0x20 || c.unicode() == 0x7F || c.unicode() > 0xFF)
            return false;
    return true;
}

} // namespace

ConfigPrompter* ConfigPage::prompter()
{
    if (m_prompter)
        return m_prompter;
    static ConfigPrompter dialogs;
    return &dialogs;
}

bool ConfigPage::isTwoLevelUnit() const
{
    return featureSupported(14, versionText(true));
}

void ConfigPage::updateAccessLevelUi(const QString& line)
{
    if (!line.startsWith(QLatin1String("PW1")))
        return;
    int digit = 0;
    if (line.size() > 4 && line.at(4).isDigit())
        digit = line.at(4).digitValue();
    const bool twoLevel = isTwoLevelUnit();
    int windowLevel = 0;
    if (digit == 0) {
        loginButton->setText(twoLevel ? tr("Login to access level 1") : tr("Login..."));
        loginTip->setText(twoLevel ? tr("Login with password to see configuration parameter values and<br>allow "
                                        "firmware updating. NOTE: 10 failed attempts lock out the<br>login access "
                                        "for 10 minutes")
                                   : tr("Login with password to enable configuration parameters change.<br>NOTE: 10 "
                                        "failed attempts lock out the login access for 10 minutes"));
        logoutButton->setText(tr("Logout..."));
        setPasswordButton->setText(QStringLiteral("Set password..."));
        accessLevel = 0;
    } else if (digit == 1) {
        loginButton->setText(twoLevel ? tr("Login to access level 2") : tr("Login..."));
        loginTip->setText(twoLevel ? tr("Log into configuration access mode. NOTE: 10 failed attempts<br>lock out the "
                                        "login access for 10 minutes")
                                   : QString());
        logoutButton->setText(twoLevel ? tr("Logout of access level 1") : tr("Logout..."));
        setPasswordButton->setText(twoLevel ? QStringLiteral("Set level 1 password")
                                            : QStringLiteral("Set password..."));
        // A one-level unit's only login opens everything in the window.
        windowLevel = twoLevel ? 1 : 2;
        accessLevel = 1;
    } else {
        loginButton->setText(tr("Login..."));
        loginTip->setText(QString());
        logoutButton->setText(tr("Logout of access level 2"));
        setPasswordButton->setText(QStringLiteral("Set level 2 password"));
        windowLevel = 2;
        accessLevel = 2;
    }
    if (digit >= 1)
        authenticationFailed = false;
    if (g_mainWindow)
        g_mainWindow->setAccessLevel(windowLevel);
    updateButtonsEnabled();
    for (ConfigParam* p : qAsConst(m_params)) {
        p->editState = NoValue;
        refreshParamWidget(p, connected);
    }
}

void ConfigPage::storePasswordReply(const QString& line)
{
    const QChar c = line.size() > 4 ? line.at(4) : QChar();
    if (line.startsWith(QLatin1String("PW1"))) {
        if (c == QLatin1Char('0') || c == QLatin1Char('1') || c == QLatin1Char('2'))
            passwordReplyState = c.digitValue();
        else if (c == QLatin1Char('?'))
            passwordReplyState = 3;
    } else if (line.startsWith(QLatin1String("PW2"))) {
        if (c == QLatin1Char('1'))
            passwordReplyState = 4;
        else if (c == QLatin1Char('0'))
            passwordReplyState = 5;
    }
    QCoreApplication::processEvents();
}

void ConfigPage::updateButtonsEnabled()
{
    const bool editing = isEditingAllowed(versionText(true));
    const bool c = connected;
    const bool loggedIn = accessLevel != 0;
    loginButton->setEnabled(c && !editing);
    setPasswordButton->setEnabled(c && loggedIn);
    logoutButton->setEnabled(c && loggedIn);
    saveButton->setEnabled(c);
    loadButton->setEnabled(c && loggedIn);
    for (QWidget* button : qAsConst(actionButtons))
        button->setEnabled(editingActionButtons.contains(button) ? editing && c : c && loggedIn);
    for (ConfigParam* p : qAsConst(m_params)) {
        const int id = p->paramId();
        if (id == 0x1608 && (p->bitMask & 0x200))
            manualChargerIdControl = p->slot->value & 0x200;
        else if (id >= 0x1A3A && id <= 0x1AB6 && p->widget)
            p->widget->setEnabled(manualChargerIdControl && editing && c && p->slot->valid);
    }
}

void ConfigPage::resetAccessLevelUi()
{
    if (g_mainWindow)
        g_mainWindow->setAccessLevel(0);
    accessLevel = 0;
    loginButton->setText(tr("Login..."));
    setPasswordButton->setText(QStringLiteral("Set password..."));
    logoutButton->setText(tr("Logout..."));
    updateButtonsEnabled();
    // Until the unit says where it stands after the reset.
    loginButton->setEnabled(false);
    setPasswordButton->setEnabled(false);
    logoutButton->setEnabled(false);
}

void ConfigPage::slotLoginPressed()
{
    Y5ProtocolHandler* handler = protocolHandler();
    if (accessLevel != 2) {
        if (authenticationFailed) {
            authenticationFailed = false;
            rememberedPassword.clear();
            prompter()->showMessage(tr("Authentication failed!\nPlease check your password and try again."));
        }
        QString password;
        bool accepted = false;
        if (m_updateInProgress && m_updateInProgress() && !rememberedPassword.isEmpty()) {
            password = rememberedPassword;
            accepted = true;
        } else {
            password = prompter()->askPassword(this, tr("Enter login password"),
                                               accessLevel == 0 ? tr("BMS Level 1 password:")
                                                                : tr("BMS Level 2 password:"),
                                               &accepted);
            rememberedPassword = accepted ? password : QString();
        }
        if (accepted && !password.isEmpty() && handler) {
            if (!isSendablePassword(password) || !handler->sendPassword(password)) {
                rememberedPassword.clear();
                prompter()->showMessage(tr("The password was not sent: it must not contain commas or control "
                                           "characters."));
            }
        }
    }
    // The handler's connection-time login waits for this, whatever happened.
    if (handler)
        handler->loginAnswered = true;
}

void ConfigPage::takePasswordChangeReply(const QString& line)
{
    if (!passwordChangeSent)
        return; // a configuration file's password line: the load answers it
    const QChar c = line.size() > 4 ? line.at(4) : QChar();
    if (c != QLatin1Char('1') && c != QLatin1Char('0'))
        return;
    passwordChangeSent = false;
    const QString password = pendingPassword;
    pendingPassword.clear();
    if (c == QLatin1Char('1')) {
        rememberedPassword = password;
        return;
    }
    prompter()->showMessage(tr("The BMS refused the new password.\nThe password was not changed."));
}

void ConfigPage::slotAuthenticationFailed()
{
    authenticationFailed = true;
}

void ConfigPage::slotLogoutPressed()
{
    rememberedPassword.clear();
    if (Y5ProtocolHandler* handler = protocolHandler())
        handler->sendLogout();
}

void ConfigPage::slotSetPasswordPressed()
{
    for (;;) {
        bool accepted = false;
        const QString first = prompter()->askPassword(this, tr("Set new password"), tr("BMS Password:"), &accepted);
        if (!accepted)
            return;
        if (!first.isEmpty() && (first.size() < 4 || first.size() > 8)) {
            prompter()->showMessage(tr("Password must be between 4 to 8 charcters.\nEmpty string disables password."));
            continue;
        }
        if (!isSendablePassword(first)) {
            prompter()->showMessage(tr("A password must not contain commas or control characters."));
            continue;
        }
        const QString second =
            prompter()->askPassword(this, tr("Re-enter the password"), tr("Re-enter BMS password:"), &accepted);
        if (!accepted)
            return;
        if (first != second) {
            prompter()->showMessage(tr("Passwords don't match. Enter again"));
            continue;
        }
        Y5ProtocolHandler* handler = protocolHandler();
        if (handler && !handler->updateRunning) {
            handler->sendSentence(QStringLiteral("PW2,"), first, 20);
            // Remembered once the unit says it took it.
            pendingPassword = first;
            passwordChangeSent = true;
        }
        return;
    }
}
