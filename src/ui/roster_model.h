// SPDX-License-Identifier: GPL-3.0-or-later
// RosterModel: the roster list ListView1 as the core's RosterView. It shows the rows the core owns
// (nick, state picture, a tip) in the core's order; the core rebuilds them, the model only copies
// them. Selection lives in the list view and is reported back to the core by the window.
#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "core/surfaces.h"

namespace plumo::ui {

class RosterModel : public QAbstractListModel, public RosterView {
  Q_OBJECT

 public:
  // Extra roles of a row.
  enum Role { AddressRole = Qt::UserRole + 1, SelectedRole };

  using TipProvider = std::function<QString(const RosterRow& row)>;
  using IconProvider = std::function<QIcon(int image)>;

  explicit RosterModel(QObject* parent = nullptr);

  // The tip of a row (five lines); without a provider a row has no tip.
  void SetTipProvider(TipProvider tip) { tip_ = std::move(tip); }
  void SetIconProvider(IconProvider icon) { icon_ = std::move(icon); }
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
  TipProvider tip_;
  IconProvider icon_;
};

}  // namespace plumo::ui
