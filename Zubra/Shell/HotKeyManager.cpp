#include "Zubra/Shell/HotKeyManager.h"

#include "Platform/HotKeyService.h"
#include "ZubraCore/Support/Logging.h"

#include <QPointer>

namespace {
QPointer<HotKeyManager> sharedManager;
} // namespace

HotKeyManager::HotKeyManager(HotKeyService& service, QSettings* settings, QObject* parent)
    : QObject(parent)
    , m_service(service)
    , m_settings(settings)
    , m_currentCombo(m_settings.hotKeyCombo().value_or(HotKeyCombo::defaultCombo()))
{
    const int status = m_service.installHandler([this] {
        if (onCapture)
            onCapture();
    });
    if (status != HotKeyService::ok)
        Loggers::hotkey().error(QStringLiteral("InstallEventHandler failed with status ") + QString::number(status));
    m_handlerInstalled = status == HotKeyService::ok;
}

HotKeyManager::~HotKeyManager()
{
    unregisterCombo();
}

HotKeyManager* HotKeyManager::shared()
{
    return sharedManager;
}

void HotKeyManager::setShared(HotKeyManager* manager)
{
    sharedManager = manager;
}

bool HotKeyManager::registerCombo(const HotKeyCombo& combo)
{
    const bool hadPrevious = m_registered;
    const HotKeyCombo previous = m_currentCombo;
    unregisterCombo();
    if (!m_handlerInstalled)
        return false;
    const int status = m_service.registerHotKey(combo.keyCode, combo.modsCarbon);
    if (status != HotKeyService::ok) {
        Loggers::hotkey().error(QStringLiteral("RegisterEventHotKey failed with status ") + QString::number(status));
        if (hadPrevious)
            m_registered = m_service.registerHotKey(previous.keyCode, previous.modsCarbon) == HotKeyService::ok;
        return false;
    }
    m_currentCombo = combo;
    m_registered = true;
    m_settings.setHotKeyCombo(combo);
    Loggers::hotkey().debug(QStringLiteral("Registered hotkey ") + combo.display());
    emit comboRegistered(combo);
    return true;
}

void HotKeyManager::unregisterCombo()
{
    if (m_registered)
        m_service.unregisterHotKey();
    m_registered = false;
}
