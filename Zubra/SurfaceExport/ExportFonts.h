#pragma once
// Pins the fonts of an export run: a font configuration that admits DejaVu alone, written to a
// private temporary file and named in FONTCONFIG_FILE before the application object exists, so
// the images do not depend on which font packages a machine has. The file goes with the object.

#include <QByteArray>

namespace AppScreenshotExporter {

class ExportFonts
{
public:
    ExportFonts();
    ~ExportFonts();
    ExportFonts(const ExportFonts&) = delete;
    ExportFonts& operator=(const ExportFonts&) = delete;

private:
    QByteArray m_path;
};

} // namespace AppScreenshotExporter
