// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/roster_model.h"

#include "ui/qt_text.h"

namespace plumo::ui {

RosterModel::RosterModel(QObject* parent) : QAbstractListModel(parent) {}

int RosterModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant RosterModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
  const RosterRow& row = rows_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return FromCp1251(row.Nick);
    case Qt::DecorationRole:
      return icon_ ? QVariant(icon_(row.Icon)) : QVariant();
    case Qt::ToolTipRole:
      return tip_ ? QVariant(tip_(row)) : QVariant();
    case AddressRole:
      return QString::fromStdString(row.Address);
    case SelectedRole:
      return row.Selected;
    default:
      return {};
  }
}

void RosterModel::RosterRebuilt(const std::vector<RosterRow>& rows) {
  beginResetModel();
  rows_ = rows;
  endResetModel();
  emit RowsRebuilt();
}

void RosterModel::RowIconChanged(int row, int icon) {
  if (row < 0 || row >= rowCount()) return;
  rows_[static_cast<std::size_t>(row)].Icon = icon;
  const QModelIndex at = index(row);
  emit dataChanged(at, at, {Qt::DecorationRole});
}

void RosterModel::SelectionChanged(const std::vector<RosterRow>& rows) {
  if (rows.size() != rows_.size()) return RosterRebuilt(rows);
  for (std::size_t i = 0; i < rows.size(); ++i) rows_[i].Selected = rows[i].Selected;
  if (!rows_.empty()) emit dataChanged(index(0), index(rowCount() - 1), {SelectedRole});
  emit SelectionMoved();
}

void RosterModel::TotalChanged(const std::string& caption) {
  emit CaptionChanged(FromCp1251(caption));
}

}  // namespace plumo::ui
