#include "Zubra/SurfaceExport/ExportFonts.h"

#include "ExportFontsConfig.h"

#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace AppScreenshotExporter {

ExportFonts::ExportFonts()
{
    // Before the application object: plain C calls, no Qt file classes.
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/tessellon-fonts-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        return; // the machine's own configuration then; the images may differ, nothing fails
    const size_t length = std::strlen(exportFontsConfig);
    const bool written = write(fd, exportFontsConfig, length) == ssize_t(length);
    close(fd);
    if (!written) {
        unlink(pattern.constData());
        return;
    }
    m_path = pattern;
    setenv("FONTCONFIG_FILE", m_path.constData(), 1);
}

ExportFonts::~ExportFonts()
{
    if (!m_path.isEmpty())
        unlink(m_path.constData());
}

} // namespace AppScreenshotExporter
