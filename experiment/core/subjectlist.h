#pragma once

// The subject IDs a window has seen and each one's accumulated run time.
// Both last as long as the window, across experiments.

#include <QString>

#include <array>
#include <optional>

namespace velorix {

class SubjectList
{
public:
    static constexpr int kEntries = 41;
    // The subject-ID prompt announces 8 characters at most.
    static constexpr int kIdLength = 8;

    // An ID as typed or assigned, as it is kept: line breaks (which would
    // break the data file's line) become blanks, and it is cut to kIdLength.
    [[nodiscard]] static QString storedId(const QString &typed);

    // Adds an ID unless it is there already; an empty ID adds nothing.
    // False when the list is full and the ID is not in it.
    bool add(const QString &id);
    // Index of the first equal entry.
    [[nodiscard]] std::optional<int> indexOf(const QString &id) const;

    // Adds a run's total to the subject's sum and returns the new sum. A
    // subject the list cannot hold (all 41 entries taken) keeps no sum:
    // its run's own total is returned.
    float accumulate(const QString &id, float runTotal);

    [[nodiscard]] const QString &entry(int index) const { return m_ids.at(index); }
    [[nodiscard]] float total(int index) const { return m_totals.at(index); }

private:
    std::array<QString, kEntries> m_ids{};
    std::array<float, kEntries> m_totals{};
};

} // namespace velorix
