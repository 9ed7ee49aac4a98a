// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/roster_model.h"

#include <QApplication>
#include <QPainter>

#include "images/images.h"
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
    case LockRole:
      return locks_[static_cast<std::size_t>(index.row())];
    default:
      return {};
  }
}

void RosterModel::RosterRebuilt(const std::vector<RosterRow>& rows) {
  beginResetModel();
  rows_ = rows;
  locks_.clear();
  for (const RosterRow& row : rows_) locks_.push_back(lock_ ? lock_(row) : -1);
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

void RosterModel::RefreshLocks() {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const int lock = lock_ ? lock_(rows_[i]) : -1;
    if (lock == locks_[i]) continue;
    locks_[i] = lock;
    const QModelIndex at = index(static_cast<int>(i));
    emit dataChanged(at, at, {LockRole, Qt::ToolTipRole});
  }
}

void RosterModel::TotalChanged(const std::string& caption) {
  emit CaptionChanged(FromCp1251(caption));
}

void RosterLockDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  const int lock = index.data(RosterModel::LockRole).toInt();
  const QPixmap picture = lock >= 0 ? MainPixmap(lock, option.decorationSize.height()) : QPixmap();
  if (picture.isNull()) return QStyledItemDelegate::paint(painter, option, index);
  // The row's selection runs under the lock too; the nick ends before it.
  QStyleOptionViewItem whole = option;
  initStyleOption(&whole, index);
  const QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
  style->drawPrimitive(QStyle::PE_PanelItemViewItem, &whole, painter, option.widget);
  const int room = picture.width() + 4;
  QStyleOptionViewItem shortened = option;
  shortened.rect.setRight(option.rect.right() - room);
  QStyledItemDelegate::paint(painter, shortened, index);
  const QRect at(option.rect.right() - room + 2,
                 option.rect.top() + (option.rect.height() - picture.height()) / 2, picture.width(),
                 picture.height());
  painter->drawPixmap(at, picture);
}

}  // namespace plumo::ui
