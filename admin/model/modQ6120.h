#pragma once
// The model Q6120: eight digital inputs, eight digital outputs, unit 1.
// Ties the module to its device page through TDevicePage.
#include "admin/model/ioModRemoteE.h"

class TDevicePage;

class TModQ6120 : public TIOModRemoteE {
public:
    explicit TModQ6120(int32_t modelIndex);

    void Attach(QWidget* page, QWidget* hostControl, TIOObject* parentObject) override;
    void Detach() override;
    void AttachToList(QList<TIOObject*>* list, QWidget* hostControl, const QString& address) override;

private:
    TDevicePage* DevicePage() const;
};
