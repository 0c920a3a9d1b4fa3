#include "core/WindowFunctions.h"

#include "core/mTransForm.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>
#include <QWindow>

namespace WindowFunctions {

namespace {
class WidgetOpacity : public mTransForm::IOpacityTarget {
 public:
  explicit WidgetOpacity(QWidget* widget) : m_widget(widget) {}
  void SetOpacity(int opacity) override { m_widget->setWindowOpacity(opacity / 255.0); }
  void ClearOpacity() override { m_widget->setWindowOpacity(1.0); }

 private:
  QWidget* m_widget;
};
}  // namespace

void DragForm(QWidget* window) {
  if (!window) return;
  if (QWindow* handle = window->windowHandle()) handle->startSystemMove();
}

void SetTopMost(QWidget* window, bool topMost) {
  if (!window) return;
  window->setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
  window->show();
}

void UnloadAllForms() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isWindow()) widget->close();
  }
}

void ApplyTransparency(QWidget* window, int level) {
  if (!window || !mTransForm::IsTransparencySupported()) return;
  WidgetOpacity target(window);
  mTransForm::SetTransparency(target, level);
}

bool CanPlaceWindows() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool IsDark(const QPalette& palette) {
  return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

}  // namespace WindowFunctions
