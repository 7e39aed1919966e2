#pragma once
// Base of every object in the server tree, the catalogue of product and
// model names, and the record a search hands over for each server found.
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>

// Catalogue, read by index. Every index in use comes from these tables.
extern const QStringList ProductNames;
extern const QStringList ModelNames;
extern const QStringList ModelDescriptions;
// Its order numbers the bits of a module's ChannelKinds.
extern const QStringList ChannelTypeNames;

// An entry of a table, or an empty text for an index outside it.
QString CatalogueText(const QStringList& table, int index);

enum TObjectKind : int32_t { okProduct = 1, okModule = 2 };

class TIOObject {
public:
    TIOObject(int32_t kind, const QString& name);
    // Leaves Page alone: an owner calls Detach() first.
    virtual ~TIOObject();

    TIOObject(const TIOObject&) = delete;
    TIOObject& operator=(const TIOObject&) = delete;

    // Slot order matters to the subclasses; keep it.
    virtual void Attach(QWidget* page, QWidget* hostControl, TIOObject* parentObject);
    virtual void Detach();
    virtual void ShowPage();
    virtual void HidePage();

    const int32_t Kind;
    // Owned by the object. A guarded pointer, so a host that went away
    // first (and took the page with it) can't leave it dangling.
    QPointer<QWidget> Page;
    QString Name;
    TIOObject* Parent = nullptr; // not owned
};

// One server found by a search. The list that holds the records owns them.
struct IONODE {
    int32_t Kind = 0; // 1: found on a local network
    int32_t ProductId = 0;
    int32_t ProductCode = 0;
    int32_t ModelIndex = 0; // catalogue model index; -1 while unmatched
    QString LocalAddress;
    QString Address;
    QString MacAddress;
    QString PortAddress;
    int32_t UnitId = 0;
    bool Conflict = false;
};
