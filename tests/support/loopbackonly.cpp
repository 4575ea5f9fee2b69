// Linked into every test: nothing a test builds may reach the internet. The maker's site is
// pointed at a closed loopback port and, where there is a desktop, it never opens a web link.
#include "site/siteurl.h"

#include <QCoreApplication>
#include <QObject>
#include <QUrl>
#ifdef QT_GUI_LIB
#include <QDesktopServices>
#endif

namespace {

class LinkSink : public QObject
{
    Q_OBJECT

public slots:
    void swallow(const QUrl &) {}
};

void keepTestsOnLoopback()
{
    setSiteBaseUrl(QStringLiteral("http://127.0.0.1:9"));
#ifdef QT_GUI_LIB
    static LinkSink sink;
    for (const char *scheme : {"http", "https"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &sink, "swallow");
#endif
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(keepTestsOnLoopback)

#include "loopbackonly.moc"
