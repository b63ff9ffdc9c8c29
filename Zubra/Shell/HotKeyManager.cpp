#include "Zubra/Shell/HotKeyManager.h"

#include "Platform/HotKeyService.h"
#include "Platform/KeyLayout.h"
#include "ZubraCore/Support/Logging.h"

#include <QPointer>
#include <utility>

namespace {

// The stored combination when it is usable; else the default, with the log line that says why.
HotKeyCombo startingCombo(const ShellSettings& settings, KeyLayout& layout, std::optional<QString>& note)
{
    const std::optional<HotKeyCombo> stored = settings.hotKeyCombo();
    if (!stored)
        return HotKeyCombo::defaultCombo();
    if (const auto why = stored->whyUnusable(layout)) {
        note = QStringLiteral("Stored shortcut not used: ") + *why + QStringLiteral(" Using ")
            + HotKeyCombo::defaultCombo().display(layout) + QStringLiteral(" instead.");
        return HotKeyCombo::defaultCombo();
    }
    return *stored;
}
} // namespace

HotKeyManager::HotKeyManager(
    HotKeyService& service, QSettings* settings, std::shared_ptr<KeyLayout> layout, QObject* parent)
    : QObject(parent)
    , m_service(service)
    , m_layout(layout ? std::move(layout) : std::make_shared<UsKeyLayout>())
    , m_settings(settings)
    , m_currentCombo(startingCombo(m_settings, *m_layout, m_startingNote))
{
    // The service may outlive the manager: a press after that reaches nothing.
    const HotKeyService::Result installed = m_service.installHandler([self = QPointer<HotKeyManager>(this)] {
        if (self && self->onCapture)
            self->onCapture();
    });
    if (!installed.isOk())
        Loggers::hotkey().error(
            QStringLiteral("InstallEventHandler failed with status ") + QString::number(installed.logCode()));
    m_handlerInstalled = installed.isOk();
}

HotKeyManager::~HotKeyManager()
{
    unregisterCombo();
}

QString HotKeyManager::display(const HotKeyCombo& combo) const
{
    return combo.display(*m_layout);
}

bool HotKeyManager::registerCombo(const HotKeyCombo& combo)
{
    if (m_startingNote)
        logMP(*std::exchange(m_startingNote, std::nullopt));
    if (const auto why = combo.whyUnusable(*m_layout)) {
        Loggers::hotkey().error(QStringLiteral("Shortcut refused: ") + *why);
        return false;
    }
    const bool hadPrevious = m_registered || m_paused;
    m_paused = false;
    const HotKeyCombo previous = m_currentCombo;
    unregisterCombo();
    if (!m_handlerInstalled)
        return false;
    const HotKeyService::Result registered = m_service.registerHotKey(combo.keyCode, combo.modsCarbon);
    if (!registered.isOk()) {
        Loggers::hotkey().error(
            QStringLiteral("RegisterEventHotKey failed with status ") + QString::number(registered.logCode()));
        if (hadPrevious)
            m_registered = m_service.registerHotKey(previous.keyCode, previous.modsCarbon).isOk();
        return false;
    }
    m_currentCombo = combo;
    m_registered = true;
    m_settings.setHotKeyCombo(combo);
    Loggers::hotkey().debug(QStringLiteral("Registered hotkey ") + display(combo));
    emit comboRegistered(combo);
    return true;
}

void HotKeyManager::unregisterCombo()
{
    if (m_registered)
        m_service.unregisterHotKey();
    m_registered = false;
    m_paused = false;
}

void HotKeyManager::pause()
{
    if (!m_registered)
        return;
    unregisterCombo();
    m_paused = true;
}

void HotKeyManager::resume()
{
    if (!m_paused)
        return;
    m_paused = false;
    if (!m_registered)
        m_registered = m_service.registerHotKey(m_currentCombo.keyCode, m_currentCombo.modsCarbon).isOk();
}
