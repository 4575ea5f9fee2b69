#include "i18n/uidictionary.h"

QMap<QString, QString> buildUiDictionary()
{
    return {
        {QStringLiteral("TUIO调试助手"), QStringLiteral("TUIO Debug Tool")},
        {QStringLiteral("监听端口"), QStringLiteral("Listen Port")},
        {QStringLiteral("显示设置"), QStringLiteral("Display")},
        {QStringLiteral("显示时间戳"), QStringLiteral("Show Timestamp")},
        {QStringLiteral("自动滚动"), QStringLiteral("Auto Scroll")},
        {QStringLiteral("行间距"), QStringLiteral("Line Spacing")},
        {QStringLiteral("字号"), QStringLiteral("Font Size")},
        {QStringLiteral("通信日志"), QStringLiteral("Log")},
    };
}
