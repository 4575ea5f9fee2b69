#pragma once

#include <QString>

// Base address of the maker's web site (ad service, announcement links, documentation).
// Fixed at build time; tests point it at a loopback server.
QString siteBaseUrl();
void setSiteBaseUrl(const QString &url);
