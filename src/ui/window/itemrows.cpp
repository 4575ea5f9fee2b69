#include "window/itemrows.h"

#include "i18n/uilanguage.h"
#include "window/treerows.h"

#include <QStringList>

namespace {

constexpr double DegreesPerRadian = 57.29577951308232;

QString fixed(float value, int decimals = 3)
{
    return QString::number(double(value), 'f', decimals);
}

QString angles(const QList<float> &radians)
{
    QStringList values;
    QStringList degrees;
    for (float angle : radians) {
        values << fixed(angle, 2);
        degrees << QString::number(double(angle) * DegreesPerRadian, 'f', 1) + QChar(0x00B0);
    }
    return QStringLiteral("%1 (%2)").arg(values.join(QLatin1Char(',')),
                                         degrees.join(QLatin1Char(',')));
}

} // namespace

QString itemGroupTitle(TuioProfile profile)
{
    static const char *const kinds[tuioItemProfileCount] = {
        "斑块", "2.5D 光标", "2.5D 物体", "2.5D 斑块", "3D 光标", "3D 物体", "3D 斑块"};
    const int index = tuioItemIndex(profile);
    if (index < 0)
        return QString();
    return QStringLiteral("%1 (%2)").arg(
        UiLanguage::instance().translate(QString::fromUtf8(kinds[index])),
        tuioProfileName(profile));
}

void putItemRows(QTreeWidgetItem *group, TuioProfile profile, const TuioItemTable &table)
{
    const bool hasZ = tuioProfileHasZ(profile);
    const bool threeD = profile == TuioProfile::Cursor3D || profile == TuioProfile::Object3D ||
                        profile == TuioProfile::Blob3D;
    const bool turns = profile != TuioProfile::Cursor25D && profile != TuioProfile::Cursor3D;
    const bool object = tuioProfileIsObject(profile);
    const bool blob = tuioProfileIsBlob(profile);
    const QString times(QChar(0x00D7));
    const QString sizeWord = UiLanguage::instance().translate(
        profile == TuioProfile::Blob3D ? QStringLiteral("体积") : QStringLiteral("面积"));
    TreeRows rows(group, table.size());
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        const TuioItemRecord &item = it.value();
        QString id = QStringLiteral("s%1").arg(it.key());
        if (object)
            id += QStringLiteral(" c%1").arg(item.classId);
        QString position = fixed(item.x) + QLatin1Char(',') + fixed(item.y);
        if (hasZ)
            position += QLatin1Char(',') + fixed(item.z);
        QStringList details;
        if (turns)
            details << angles(threeD ? QList<float>{item.a, item.b, item.c} : QList<float>{item.a});
        if (blob) {
            QString size = fixed(item.w) + times + fixed(item.h);
            if (profile == TuioProfile::Blob3D)
                size += times + fixed(item.d);
            details << size << sizeWord + QLatin1Char(' ') + fixed(item.size, 4);
        }
        rows.put(id, position, details.join(QStringLiteral("  ")));
    }
    rows.finish();
}
