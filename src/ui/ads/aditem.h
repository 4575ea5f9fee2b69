#pragma once

#include <QString>

// One announcement of the maker's ad service.
struct AdItem
{
    int id = 0;
    QString targetType;
    QString adType;
    QString title;
    QString imageUrl;
    QString linkUrl;
    QString description;
};
