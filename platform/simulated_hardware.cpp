// The hardware calls over the simulated machine, answering with the codes the
// real calls give, sorted by the same tables.
#include "platform/device_hardware.h"

#include "platform/endpoint_answers.h"
#include "platform/simulated_calls.h"

#include <thread>

using simulated::machine;

namespace {

// The devnode behind a handle: its place in the machine's list, from 1.
simulated::Devnode* devnodeOf(Devnode node) {
    std::vector<simulated::Devnode>& all = machine().hardware.devnodes;
    if (node == 0 || node > all.size())
        return nullptr;
    simulated::Devnode& d = all[node - 1];
    simulated::noteHangingCall(d.hangsAtCall, d.callsAnswered);
    std::this_thread::sleep_for(d.answersAfter);
    return &d;
}

// One of a devnode's properties, which `pick` chooses.
template <class T, class Pick> EndpointAnswer readDevnode(Devnode node, Pick pick, T* value) {
    const simulated::Devnode* d = devnodeOf(node);
    if (d == nullptr)
        return endpointAnswerOfConfig(CR_NO_SUCH_DEVNODE);
    const simulated::DevnodeProperty<T>& p = pick(*d);
    if (p.result != CR_SUCCESS)
        return endpointAnswerOfConfig(p.result);
    if (p.otherType)
        return endpointAnswerOf(DISP_E_TYPEMISMATCH);
    *value = p.value;
    return EndpointAnswer::Ok;
}

template <class T>
EndpointAnswer readWin32(const std::map<std::u16string, simulated::Win32Answer<T>>& answers,
                         const std::u16string& key, T* value) {
    simulated::noteCall();
    const auto found = answers.find(key);
    if (found == answers.end())
        return endpointAnswerOfError(ERROR_FILE_NOT_FOUND);
    if (found->second.error == ERROR_SUCCESS)
        *value = found->second.value;
    return endpointAnswerOfError(found->second.error);
}

} // namespace

EndpointAnswer endpointAdapterInstance(EndpointDevice* device, std::u16string* instanceId) {
    simulated::Endpoint& e = simulated::endpointOf(device);
    simulated::noteEndpointCall(e);
    return simulated::readProperty(e.hardware.adapterInstance, instanceId);
}

EndpointAnswer endpointEffects(EndpointDevice* device, std::vector<EffectReading>* effects) {
    simulated::Endpoint& e = simulated::endpointOf(device);
    simulated::noteEndpointCall(e);
    if (FAILED(e.propertyStoreResult))
        return endpointAnswerOf(e.propertyStoreResult);
    return simulated::readProperty(e.hardware.effects, effects);
}

EndpointAnswer endpointContainers(EndpointService* service,
                                  std::vector<ContainerReading>* endpoints) {
    simulated::noteCall();
    endpoints->clear();
    const HRESULT listed = machine().hardware.containersResult;
    if (service == nullptr || FAILED(listed))
        return service == nullptr ? EndpointAnswer::Failed : endpointAnswerOf(listed);
    for (const simulated::Endpoint& e : machine().endpoints.endpoints) {
        ContainerReading r;
        r.endpointId = e.id;
        r.direction = e.direction;
        if (SUCCEEDED(e.propertyStoreResult) && SUCCEEDED(e.friendlyName.result))
            r.name = e.friendlyName.value;
        if (SUCCEEDED(e.propertyStoreResult) && SUCCEEDED(e.hardware.containerId.result))
            r.containerId = e.hardware.containerId.value;
        endpoints->push_back(r);
    }
    return EndpointAnswer::Ok;
}

EndpointAnswer locateDevnode(const std::u16string& instanceId, Devnode* node, bool* present) {
    simulated::noteCall();
    simulated::countOnLog(simulated::calls().devnodesLocated, +1);
    std::vector<simulated::Devnode>& all = machine().hardware.devnodes;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!simulated::sameIdInAnyCase(all[i].instanceId, instanceId))
            continue;
        simulated::Devnode& d = all[i];
        simulated::noteHangingCall(d.hangsAtCall, d.callsAnswered);
        if (d.locateResult != CR_SUCCESS)
            return endpointAnswerOfConfig(d.locateResult);
        *node = static_cast<Devnode>(i + 1);
        *present = d.present;
        return EndpointAnswer::Ok;
    }
    return endpointAnswerOfConfig(CR_NO_SUCH_DEVNODE);
}

EndpointAnswer devnodeText(Devnode node, DevnodeText which, std::u16string* text) {
    return readDevnode(
        node, [which](const simulated::Devnode& d) -> auto& { return d.texts[int(which)]; }, text);
}

EndpointAnswer devnodeHardwareIds(Devnode node, std::vector<std::u16string>* ids) {
    return readDevnode(
        node, [](const simulated::Devnode& d) -> auto& { return d.hardwareIds; }, ids);
}

EndpointAnswer devnodeDriverDate(Devnode node, std::uint64_t* fileTime) {
    return readDevnode(
        node, [](const simulated::Devnode& d) -> auto& { return d.driverDate; }, fileTime);
}

EndpointAnswer devnodeProblem(Devnode node, std::uint32_t* problem) {
    return readDevnode(
        node, [](const simulated::Devnode& d) -> auto& { return d.problem; }, problem);
}

EndpointAnswer serviceImagePath(const std::u16string& service, std::u16string* path) {
    return readWin32(machine().hardware.serviceImages, service, path);
}

EndpointAnswer classServerPath(const std::u16string& classId, std::u16string* path) {
    return readWin32(machine().hardware.classServers, classId, path);
}

EndpointAnswer fileFixedVersion(const std::u16string& path, std::vector<unsigned char>* info) {
    return readWin32(machine().hardware.fixedVersions, path, info);
}

EndpointAnswer systemVersion(SystemVersion* version) {
    simulated::noteCall();
    return simulated::readProperty(machine().hardware.version, version);
}

EndpointAnswer audioServiceState(AudioService which, std::uint32_t* state) {
    simulated::noteCall();
    const simulated::Win32Answer<std::uint32_t>& a =
        machine().hardware.services[static_cast<int>(which)];
    if (a.error == ERROR_SUCCESS)
        *state = a.value;
    return endpointAnswerOfError(a.error);
}
