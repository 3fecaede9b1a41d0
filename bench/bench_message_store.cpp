// The message store on the handler's path: per incoming message it opens the message and
// the folder, reads a few properties and deletes the message.
#include <benchmark/benchmark.h>

#include <vector>

#include "device/Clock.h"
#include "device/Mapi.h"
#include "device/MessageStore.h"
#include "support/TempDevice.h"

using namespace velmo::device;

namespace {

std::vector<Property> Sms() {
    return {Property::Text(PR_SENDER_EMAIL_ADDRESS_W, u"+4915112345678"),
            Property::Text(PR_SENDER_NAME_W, u"Anna"),
            Property::Text(PR_SUBJECT_W, u"See you at eight"),
            Property::Time(PR_MESSAGE_DELIVERY_TIME, FILETIME{1, 2}),
            Property::Number(PR_MESSAGE_FLAGS, 0),
            Property::Text(PR_MESSAGE_CLASS_W, u"IPM.SMStext")};
}

IUnknown* Open(IMsgStore* store, EntryId& id) {
    IUnknown* object = nullptr;
    store->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(id.data()), nullptr, 0, nullptr,
                     &object);
    return object;
}

// The dismiss path: OpenEntry twice, GetProps of four tags, MAPIFreeBuffer, DeleteMessages.
void BM_DismissPath(benchmark::State& state) {
    velmo::test::TempDevice device;
    MessageStore store;
    EntryId inbox = store.InboxEntryId();
    // Other messages in the folder, as on a phone in use.
    for (int i = 0; i < 500; ++i) store.CreateMessage(u"Inbox", Sms());
    SizedSPropTagArray<4> tags{4,
                               {PR_SENDER_EMAIL_ADDRESS_W, PR_SUBJECT_W, PR_MESSAGE_DELIVERY_TIME, PR_SENDER_NAME_W}};
    for (auto _ : state) {
        state.PauseTiming();
        EntryId id = store.CreateMessage(u"Inbox", Sms());
        state.ResumeTiming();
        auto* message = static_cast<IMessage*>(Open(store.Interface(), id));
        auto* folder = static_cast<IMAPIFolder*>(Open(store.Interface(), inbox));
        ULONG count = 0;
        LPSPropValue values = nullptr;
        if (message->GetProps(tags, MAPI_UNICODE, &count, &values) != S_OK) state.SkipWithError("GetProps failed");
        MAPIFreeBuffer(values);
        SBinary entry{static_cast<ULONG>(id.size()), id.data()};
        ENTRYLIST list{1, &entry};
        if (folder->DeleteMessages(&list, 0, nullptr, 0) != S_OK) state.SkipWithError("DeleteMessages failed");
        folder->Release();
        message->Release();
    }
}
BENCHMARK(BM_DismissPath)->Unit(benchmark::kMicrosecond);

// The transport storing an incoming message.
void BM_CreateMessage(benchmark::State& state) {
    velmo::test::TempDevice device;
    MessageStore store;
    const std::vector<Property> sms = Sms();
    for (auto _ : state) benchmark::DoNotOptimize(store.CreateMessage(u"Inbox", sms));
}
BENCHMARK(BM_CreateMessage)->Unit(benchmark::kMicrosecond);

}  // namespace
