// TAdsDataSet: the public members that exist only to fail. They belong to the dataset
// interface that code written for other database layers expects; this layer has no such
// concept, so each says plainly that it is not supported (EADSDatabaseError 5121).
#include "ads/adsdata_cursor.h"

namespace varelum::ads {
namespace {

std::string NotSupported(const char* method) {
    return std::string("The method ") + method + " in TAdsDataSet is not supported.";
}

}  // namespace

int TAdsDataSet::GetTableLevel() const {
    RaiseError(NotSupported("GetTableLevel"));
}

void TAdsDataSet::SetTableLevel(int) {
    RaiseError(NotSupported("SetTableLevel"));
}

void* TAdsDataSet::GetDBDatabase() const {
    RaiseError(NotSupported("GetDBDatabase"));
}

void* TAdsDataSet::GetDBHandle() const {
    RaiseError(NotSupported("GetDBHandle"));
}

void* TAdsDataSet::GetDBLocale() const {
    RaiseError(NotSupported("GetDBLocale"));
}

void* TAdsDataSet::GetDBSession() const {
    RaiseError(NotSupported("GetDBSession"));
}

void* TAdsDataSet::GetProvider() const {
    RaiseError(NotSupported("GetProvider"));
}

std::string TAdsDataSet::GetSessionName() const {
    RaiseError(NotSupported("GetSessionName"));
}

void TAdsDataSet::SetSessionName(const std::string&) {
    RaiseError(NotSupported("SetSessionName"));
}

bool TAdsDataSet::GetCacheBlobs() const {
    RaiseError(NotSupported("GetCacheBlobs"));
}

void TAdsDataSet::SetCacheBlobs(bool) {
    RaiseError(NotSupported("SetCacheBlobs"));
}

bool TAdsDataSet::GetCachedUpdates() const {
    RaiseError(NotSupported("GetCachedUpdates"));
}

void TAdsDataSet::SetCachedUpdates(bool) {
    RaiseError(NotSupported("SetCachedUpdates"));
}

bool TAdsDataSet::GetExpIndex() const {
    RaiseError(NotSupported("GetExpIndex"));
}

void* TAdsDataSet::GetLocale() const {
    RaiseError(NotSupported("GetLocale"));
}

void* TAdsDataSet::GetUpdateObject() const {
    RaiseError(NotSupported("GetUpdateObject"));
}

void TAdsDataSet::SetUpdateObject(void*) {
    RaiseError(NotSupported("SetUpdateObject"));
}

bool TAdsDataSet::GetUpdatesPending() const {
    RaiseError(NotSupported("GetUpdatesPending"));
}

int TAdsDataSet::GetUpdateRecordSet() const {
    RaiseError(NotSupported("GetUpdateRecordSet"));
}

void TAdsDataSet::SetUpdateRecordSet(int) {
    RaiseError(NotSupported("SetUpdateRecordSet"));
}

void TAdsDataSet::BatchMove(db::TDataSet*, int) {
    RaiseError(NotSupported("BatchMove"));
}

void TAdsDataSet::CheckOpen(int) {
    RaiseError(NotSupported("CheckOpen"));
}

void TAdsDataSet::ApplyUpdates() {
    RaiseError(NotSupported("ApplyUpdates"));
}

void TAdsDataSet::CancelUpdates() {
    RaiseError(NotSupported("CancelUpdates"));
}

void TAdsDataSet::CommitUpdates() {
    RaiseError(NotSupported("CommitUpdates"));
}

bool TAdsDataSet::ConstraintsDisabled() const {
    RaiseError(NotSupported("ConstraintsDisabled"));
}

void TAdsDataSet::DisableConstraints() {
    RaiseError(NotSupported("DisableConstraints"));
}

void TAdsDataSet::EnableConstraints() {
    RaiseError(NotSupported("EnableConstraints"));
}

void TAdsDataSet::FetchAll() {
    RaiseError(NotSupported("FetchAll"));
}

void TAdsDataSet::GetIndexInfo() {
    RaiseError(NotSupported("GetIndexInfo"));
}

void TAdsDataSet::RevertRecord() {
    RaiseError(NotSupported("RevertRecord"));
}

int TAdsDataSet::UpdateStatus() const {
    RaiseError(NotSupported("UpdateStatus"));
}

}  // namespace varelum::ads
