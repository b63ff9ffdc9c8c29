#include "Zubra/Widgets/ShellActions.h"

#include "Platform/KeyLayout.h"
#include "Zubra/Widgets/HotKeyCombo.h"

#include <QDBusConnection>
#include <QObject>

namespace {

// Receives the accessibility bus's property change and passes it on.
class TrustRelay final : public QObject
{
    Q_OBJECT

public:
    TrustRelay(QObject* context, std::function<void()> changed)
        : QObject(context)
        , m_changed(std::move(changed))
    {
    }

public slots:
    void propertiesChanged() { m_changed(); }

private:
    std::function<void()> m_changed;
};

} // namespace

void ShellActions::watchTrust(QObject* context, std::function<void()> changed)
{
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected() || !context)
        return;
    auto* relay = new TrustRelay(context, std::move(changed));
    session.connect(QString(), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"), relay, SLOT(propertiesChanged()));
}

QString NoShellActions::hotkeyDisplay()
{
    UsKeyLayout us;
    return HotKeyCombo::defaultCombo().display(us);
}

#include "ShellActions.moc"
