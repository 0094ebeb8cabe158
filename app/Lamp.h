// A round indicator lamp: green when lit, grey when out.
#pragma once

#include <QWidget>

class Lamp : public QWidget {
    Q_OBJECT

public:
    explicit Lamp(QWidget *parent = nullptr);

    bool IsLit() const { return lit_; }
    void SetLit(bool lit);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool lit_ = false;
};
