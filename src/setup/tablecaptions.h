#pragma once

#include "tableview.h"

#include <QString>

// How the operator sees a field in the window ("CH B HSPD"), for messages that point at one.
inline QString TableFieldCaption(int field, int ch) {
    QString row;
    switch (field) {
        case TableView::Position:
            row = QStringLiteral("Position");
            break;
        case TableView::CwDgls:
            row = QStringLiteral("CW DGLS");
            break;
        case TableView::CcwDgls:
            row = QStringLiteral("CCW DGLS");
            break;
        case TableView::Hspd:
            row = QStringLiteral("HSPD");
            break;
        case TableView::Mspd:
            row = QStringLiteral("MSPD");
            break;
        case TableView::Lspd:
            row = QStringLiteral("LSPD");
            break;
        case TableView::Rate:
            row = QStringLiteral("Rate");
            break;
        default:
            row = QStringLiteral("Backlash");
            break;
    }
    return QStringLiteral("CH %1 %2").arg(QChar(u'A' + ch), row);
}
