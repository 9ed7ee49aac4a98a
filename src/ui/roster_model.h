// SPDX-License-Identifier: GPL-3.0-or-later
// RosterModel: the roster list ListView1 as the core's RosterView. It shows the rows the core owns
// (nick, state picture, a tip) in the core's order; the core rebuilds them, the model only copies
// them. Selection lives in the list view and is reported back to the core by the window. A row may
// carry a lock (a peer with a key, a checked key, a changed key) that RosterLockDelegate draws at
// the row's right end; the locks come from a provider and are read again by RefreshLocks.
#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <QString>
#include <QStyledItemDelegate>

#include <functional>
#include <string>
#include <vector>

#include "core/surfaces.h"

namespace plumo::ui {

class RosterModel : public QAbstractListModel, public RosterView {
  Q_OBJECT

 public:
  // Extra roles of a row.
  // LockRole: the image index of the row's lock (icon::kLocked, ...), -1 for none.
  enum Role { AddressRole = Qt::UserRole + 1, SelectedRole, LockRole };

  using TipProvider = std::function<QString(const RosterRow& row)>;
  using IconProvider = std::function<QIcon(int image)>;
  // The image index of a row's lock, or -1.
  using LockProvider = std::function<int(const RosterRow& row)>;

  explicit RosterModel(QObject* parent = nullptr);

  // The tip of a row (five lines); without a provider a row has no tip.
  void SetTipProvider(TipProvider tip) { tip_ = std::move(tip); }
  void SetIconProvider(IconProvider icon) { icon_ = std::move(icon); }
  void SetLockProvider(LockProvider lock) { lock_ = std::move(lock); }
  // Reads every row's lock again and repaints the rows whose lock changed (keys are learnt and
  // checked without the roster changing).
  void RefreshLocks();
  const std::vector<RosterRow>& Rows() const { return rows_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // RosterView
  void RosterRebuilt(const std::vector<RosterRow>& rows) override;
  void RowIconChanged(int row, int icon) override;
  void TotalChanged(const std::string& caption) override;
  void SelectionChanged(const std::vector<RosterRow>& rows) override;

 signals:
  // The caption of the user-count button changed.
  void CaptionChanged(const QString& caption);
  // The rows were replaced; the view restores the selection the rows carry.
  void RowsRebuilt();
  // The core moved the selection; the view shows the selection the rows carry.
  void SelectionMoved();

 private:
  std::vector<RosterRow> rows_;
  std::vector<int> locks_;  // per row, as the provider last said
  TipProvider tip_;
  IconProvider icon_;
  LockProvider lock_;
};

// Draws a row as the list would, with its lock (LockRole) at the right end, where the nick is cut
// short to make room.
class RosterLockDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace plumo::ui
