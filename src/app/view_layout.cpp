#include "app/view_layout.h"

const char* ColumnLayouts::section(int view)
{
    switch (view) {
    case HeaderView:
        return "Header View Column Sizes";
    case BatchView:
        return "Batch View Column Sizes";
    default:
        return "Proccessed View Column Sizes";
    }
}

QList<ColumnSpec> ColumnLayouts::columns(int view)
{
    switch (view) {
    case HeaderView:
        return {{"Subject", 360}, {"Parts", 35}, {"MB", 35},  {"From", 70},
                {"Life", 70},     {"Newsgroup", 90}, {"Date", 20}};
    case BatchView:
        return {{"Subject", 360}, {"Parts", 35}, {"MB", 35},  {"Life", 55},
                {"From", 70},     {"Newsgroup", 90}, {"Date", 20}};
    default:
        return {{"Subject", 360}, {"Status", 45}, {"Filename", 135}};
    }
}

QList<QString> ColumnLayouts::captions(int view)
{
    QList<QString> out;
    for (const ColumnSpec& c : columns(view))
        out.append(QString::fromLatin1(c.caption));
    return out;
}
