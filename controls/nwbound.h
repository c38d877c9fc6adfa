// What the controls bound to a base component share: the reference to the
// base component (dropped when it is destroyed), the loading state of a form
// being read, and the base component's notices turned into one refresh.
#pragma once

#include <QEvent>
#include <QPointer>
#include <QTreeView>
#include <QWidget>

#include "base/nwbase.h"

// Which of the base component's notices make a control refresh.
enum TNWNotice : unsigned {
  nwnNone = 0,
  nwnServerChange = 1,  // NWM_SERVERCHANGE: a new server or context
  nwnUserChange = 2,    // NWM_USERCHANGE: a new current object
};

// Repainting, and sorting of a tree view, stay off for the guard's life, so
// that a control cleared and filled with many rows lays itself out once.
class TNWRepaintGuard {
 public:
  explicit TNWRepaintGuard(QWidget *widget)
      : widget_(widget), tree_(qobject_cast<QTreeView *>(widget)), updatesWere_(widget->updatesEnabled()),
        sortingWas_(tree_ != nullptr && tree_->isSortingEnabled()) {
    widget_->setUpdatesEnabled(false);
    if (sortingWas_) tree_->setSortingEnabled(false);
  }
  ~TNWRepaintGuard() {
    if (sortingWas_) tree_->setSortingEnabled(true);
    if (updatesWere_) widget_->setUpdatesEnabled(true);
  }
  TNWRepaintGuard(const TNWRepaintGuard &) = delete;
  TNWRepaintGuard &operator=(const TNWRepaintGuard &) = delete;

 private:
  QWidget *widget_;
  QTreeView *tree_;
  bool updatesWere_;
  bool sortingWas_;
};

// The base of a bound control over the Qt widget it shows itself as.
// Setting the base component and finishing a load call Refresh(); so do the
// notices the control listens to. Whether Refresh() reads anything while
// loading is the control's own choice.
template <class Widget>
class TNWBoundControl : public Widget {
 public:
  // Component state, set by whoever reads a form description.
  bool Loading() const { return loading_; }
  void SetLoading(bool loading) { loading_ = loading; }
  virtual void Loaded() {
    loading_ = false;
    Refresh();
  }

  TNWBase *NWBase() const { return nwBase_.data(); }
  void SetNWBase(TNWBase *base) {
    if (base != nwBase_.data()) {
      QObject::disconnect(baseConnection_);
      nwBase_ = base;
      // Once the base component is gone the control refreshes without it.
      if (base != nullptr) {
        baseConnection_ = QObject::connect(base, &QObject::destroyed, this, [this] { SetNWBase(nullptr); });
      }
    }
    Refresh();
  }

 protected:
  TNWBoundControl(QWidget *parent, unsigned notices) : Widget(parent), notices_(notices) {}

  // Shows the base component's state again.
  virtual void Refresh() = 0;

  void customEvent(QEvent *event) override {
    if ((event->type() == NWM_SERVERCHANGE && (notices_ & nwnServerChange) != 0) ||
        (event->type() == NWM_USERCHANGE && (notices_ & nwnUserChange) != 0)) {
      Refresh();
      return;
    }
    Widget::customEvent(event);
  }

  bool loading_ = false;
  QPointer<TNWBase> nwBase_;

 private:
  unsigned notices_;
  QMetaObject::Connection baseConnection_;
};
