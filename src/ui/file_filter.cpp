#include "ui/file_filter.h"

#include <QStringList>

namespace quorvel {

QString QtFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      const QString pattern = p.trimmed();
      if (pattern.isEmpty()) continue;
      patterns << (pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern);
    }
    out << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QStringLiteral(")");
  }
  return out.join(QStringLiteral(";;"));
}

}  // namespace quorvel
