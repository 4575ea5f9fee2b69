// Linked into every test: nothing a test builds may reach the internet. The maker's site is
// pointed at a closed loopback port and the desktop never opens a web link.
#include "app/siteurl.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QObject>
#include <QUrl>

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
    static LinkSink sink;
    for (const char *scheme : {"http", "https"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &sink, "swallow");
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(keepTestsOnLoopback)

#include "loopbackonly.moc"
