#include "net/HTTPGet.h"

THTTPGet::THTTPGet(QObject* owner) : QObject(owner) {}
