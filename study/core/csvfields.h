#pragma once

// Comma-separated records as spreadsheets, pandas and R read them: a field
// that holds a comma, a double quote or a line end, or starts or ends with
// a space, is put in double quotes, its own quotes doubled.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace velorix::csv {

[[nodiscard]] QString cell(const QString &field);
// The fields as one record, without its line end.
[[nodiscard]] QString record(const QStringList &fields);
// The fields of one record's line; empty when a quoted field is not closed
// or a quote stands inside an unquoted one.
[[nodiscard]] std::optional<QStringList> fields(QStringView line);

} // namespace velorix::csv
