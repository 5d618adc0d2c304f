// The usbfs side of the emulated bus: umockdev hands every ioctl on a device node to the node's
// handler (on umockdev's worker thread), which answers it the way the kernel's usbfs does
// (drivers/usb/core/devio.c, as documented in <linux/usbdevice_fs.h>):
// - USBDEVFS_CLAIMINTERFACE: EBUSY while a kernel driver or another open file holds the
//   interface; USBDEVFS_RELEASEINTERFACE undoes it;
// - USBDEVFS_GETDRIVER: the bound driver's name ("usbfs" for a claim), ENODATA for none;
//   USBDEVFS_IOCTL with USBDEVFS_DISCONNECT / USBDEVFS_CONNECT unbinds and binds it again;
// - USBDEVFS_SUBMITURB of a control URB: the setup packet and data stage go to the simulated
//   device at once, and the URB is waiting for USBDEVFS_REAPURB(NDELAY) with status 0, -EPIPE
//   (a stall) or -ESHUTDOWN (the device left the bus during the transfer);
// - USBDEVFS_DISCARDURB of a URB a hung device has not answered: it is reaped with -ENOENT;
// - USBDEVFS_RESET: 0 when the device comes back with the same descriptors, else ENODEV: it
//   enumerates anew, which libusb reports as LIBUSB_ERROR_NOT_FOUND;
// - every ioctl on the node of a device that has left the bus: ENODEV, but for the reaping of
//   URBs that completed before.
// A monitor thread watches the devices and makes and removes their nodes (sysfs entries with
// the descriptors, "add" and "remove" events) as they enumerate.
#include "UsbfsBus.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/stat.h>
#include <umockdev.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace qvdfu {
namespace {

constexpr std::uint8_t kInterfaceDescriptor = 0x04;
constexpr auto kMonitorInterval = std::chrono::milliseconds(2);

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char pair[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", b);
        text += pair;
    }
    return text;
}

// A standard GET_DESCRIPTOR to the device, as the kernel reads it when the device enumerates.
bool ReadDescriptor(DfuDevice& device, std::uint8_t type, std::uint16_t length,
                    std::vector<std::uint8_t>& out) {
    Setup setup;
    setup.requestType = 0x80;
    setup.request = 0x06;
    setup.value = static_cast<std::uint16_t>(type << 8);
    setup.length = length;
    out.assign(length, 0);
    std::size_t got = 0;
    if (device.Control(setup, out.data(), got) != Transfer::ok) return false;
    out.resize(got);
    return true;
}

// The device and configuration descriptors; false while the device does not answer.
bool ReadDescriptors(DfuDevice& device, std::vector<std::uint8_t>& deviceDescriptor,
                     std::vector<std::uint8_t>& config) {
    std::vector<std::uint8_t> head;
    if (!ReadDescriptor(device, 0x01, 18, deviceDescriptor) || deviceDescriptor.size() < 18 ||
        !ReadDescriptor(device, 0x02, 9, head) || head.size() < 9) {
        return false;
    }
    return ReadDescriptor(device, 0x02, static_cast<std::uint16_t>(head[2] | (head[3] << 8)),
                          config);
}

// The interface numbers of a configuration with their class and subclass.
struct InterfaceInfo {
    unsigned number;
    std::uint8_t cls;
    std::uint8_t subclass;
};

std::vector<InterfaceInfo> Interfaces(const std::vector<std::uint8_t>& config) {
    std::vector<InterfaceInfo> found;
    for (std::size_t at = 0; at + 2 <= config.size() && config[at] >= 2; at += config[at]) {
        if (config[at + 1] == kInterfaceDescriptor && at + 9 <= config.size()) {
            found.push_back({config[at + 2], config[at + 5], config[at + 6]});
        }
    }
    return found;
}

}  // namespace

struct UsbfsBus::Impl {
    // One enumeration of a device: its node, as long as the device stays on the bus.
    struct Node {
        int port = 0;
        int devnum = 0;
        std::string devnode;
        unsigned long enumeration = 0;  // the device's enumeration count it stands for
        std::vector<std::uint8_t> deviceDescriptor;
        std::vector<std::uint8_t> config;
        bool readOnly = false;
        bool ready = false;  // its files are made (guarded by the bus mutex)
        std::atomic<bool> stale{false};
        // Guarded by the bus mutex:
        std::map<unsigned, std::string> drivers;   // kernel drivers bound, by interface
        std::map<unsigned, std::string> detached;  // drivers unbound through USBDEVFS_DISCONNECT
        // What each open file holds; each entry keeps a reference on its client.
        struct Client {
            std::set<unsigned> claims;
            std::deque<UMockdevIoctlData*> reapable;  // each with its reference
            std::deque<UMockdevIoctlData*> pending;   // not answered (a hung device)
            std::set<UMockdevIoctlData*> discarded;   // reapable ones cancelled while pending
        };
        std::map<UMockdevIoctlClient*, Client> clients;
        UMockdevIoctlBase* handler = nullptr;
        Impl* bus = nullptr;
    };

    struct Port {
        DfuDevice* device = nullptr;
        PlugOptions options;
        bool plugged = false;
        bool hung = false;  // control URBs are not answered
        std::shared_ptr<Node> node;
        PortCounters counters;
    };

    UMockdevTestbed* testbed = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    std::map<int, Port> ports;
    std::vector<std::shared_ptr<Node>> retired;  // nodes whose files may still be open
    int nextDevnum = 2;                          // 1 is the root hub's
    bool quit = false;
    std::thread monitor;

    static std::string SysfsPath(int port) {
        return "/sys/devices/pci0000:00/usb1/1-" + std::to_string(port);
    }

    // ---- the monitor: nodes come and go as the devices enumerate
    struct Change {
        std::shared_ptr<Node> removed;
        std::shared_ptr<Node> added;
        std::string record;  // umockdev's device record of the added node
    };

    void MonitorLoop() {
        std::unique_lock<std::mutex> lock(mutex);
        while (!quit) {
            std::vector<Change> changes = DecideLocked();
            lock.unlock();
            for (Change& change : changes) Apply(change);
            lock.lock();
            for (Change& change : changes) {
                if (change.added) change.added->ready = true;
            }
            if (!changes.empty()) changed.notify_all();
            changed.wait_for(lock, kMonitorInterval);
        }
    }

    std::vector<Change> DecideLocked() {
        std::vector<Change> changes;
        for (auto& [number, port] : ports) {
            Change change;
            std::vector<std::uint8_t> deviceDescriptor, config;
            const bool answers = port.plugged && port.device != nullptr &&
                                 ReadDescriptors(*port.device, deviceDescriptor, config);
            const unsigned long count = answers ? port.device->EnumerationCount() : 0;
            if (port.node && (port.node->stale || !answers || count != port.node->enumeration)) {
                port.node->stale = true;
                change.removed = port.node;
                retired.push_back(port.node);
                port.node.reset();
            }
            if (!port.node && answers) {
                change.added = MakeNodeLocked(number, port, count, deviceDescriptor, config);
                change.record = Record(*change.added);
                port.node = change.added;
                ++port.counters.enumerations;
            }
            if (change.removed || change.added) changes.push_back(std::move(change));
        }
        return changes;
    }

    std::shared_ptr<Node> MakeNodeLocked(int number, const Port& port, unsigned long count,
                                         std::vector<std::uint8_t> deviceDescriptor,
                                         std::vector<std::uint8_t> config) {
        auto node = std::make_shared<Node>();
        node->port = number;
        node->devnum = nextDevnum++;
        char path[32];
        std::snprintf(path, sizeof path, "/dev/bus/usb/001/%03d", node->devnum);
        node->devnode = path;
        node->enumeration = count;
        node->readOnly = port.options.readOnlyNode;
        for (const InterfaceInfo& i : Interfaces(config)) {
            // The serial function's class driver binds by itself, as on a real system.
            if (i.cls == 0x02 || i.cls == 0x0A) node->drivers[i.number] = "cdc_acm";
            if (i.cls == 0xFE && i.subclass == 0x01 && !port.options.runtimeDriver.empty() &&
                !port.device->InDfuMode()) {
                node->drivers[i.number] = port.options.runtimeDriver;
            }
        }
        node->deviceDescriptor = std::move(deviceDescriptor);
        node->config = std::move(config);
        node->bus = this;
        node->handler = umockdev_ioctl_base_new();
        g_signal_connect(node->handler, "handle-ioctl", G_CALLBACK(&Impl::OnIoctl), node.get());
        return node;
    }

    static std::string Record(const Node& node) {
        const std::vector<std::uint8_t>& d = node.deviceDescriptor;
        char ids[64];
        std::snprintf(ids, sizeof ids, "%02x%02x/%02x%02x/%x", d[9], d[8], d[11], d[10],
                      d[12] | (d[13] << 8));
        char devnum[8];
        std::snprintf(devnum, sizeof devnum, "%03d", node.devnum);
        std::vector<std::uint8_t> all = node.deviceDescriptor;
        all.insert(all.end(), node.config.begin(), node.config.end());
        return "P: /devices/pci0000:00/usb1/1-" + std::to_string(node.port) + "\nN: bus/usb/001/" +
               devnum +
               "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\nE: "
               "DEVNUM=" +
               devnum + "\nE: DEVNAME=" + node.devnode + "\nE: PRODUCT=" + ids +
               "\nA: busnum=1\\n\nA: devnum=" + std::to_string(node.devnum) +
               "\\n\nA: bConfigurationValue=1\\n\nA: speed=480\\n\nH: descriptors=" + Hex(all) +
               "\n";
    }

    void Apply(const Change& change) {
        if (change.removed) {
            const std::string sysfs = SysfsPath(change.removed->port);
            umockdev_testbed_uevent(testbed, sysfs.c_str(), "remove");
            umockdev_testbed_remove_device(testbed, sysfs.c_str());
        }
        if (change.added) {
            umockdev_testbed_attach_ioctl(testbed, change.added->devnode.c_str(),
                                          change.added->handler, nullptr);
            umockdev_testbed_add_from_string(testbed, change.record.c_str(), nullptr);
            if (change.added->readOnly) {
                gchar* root = umockdev_testbed_get_root_dir(testbed);
                ::chmod((std::string(root) + change.added->devnode).c_str(), 0444);
                g_free(root);
            }
        }
    }

    // ---- the node's ioctls
    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
        Node& node = *static_cast<Node*>(data);
        Impl& bus = *node.bus;
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        int error = 0;
        {
            std::lock_guard<std::mutex> lock(bus.mutex);
            // URBs completed before the device left can still be reaped (as the kernel does
            // for USBDEVFS_CAP_REAP_AFTER_DISCONNECT); anything else finds it gone.
            const bool reap = request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY;
            error = node.stale && !reap ? ENODEV : bus.AnswerLocked(node, client, request, arg);
        }
        if (node.stale) bus.changed.notify_all();
        umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
        return TRUE;
    }

    // The state of one open file of the node, made at its first claim or URB.
    static Node::Client& ClientOf(Node& node, UMockdevIoctlClient* client) {
        auto it = node.clients.find(client);
        if (it == node.clients.end()) {
            g_object_ref(client);
            it = node.clients.emplace(client, Node::Client{}).first;
        }
        return it->second;
    }

    static void Forget(Node& node, std::map<UMockdevIoctlClient*, Node::Client>::iterator it) {
        for (UMockdevIoctlData* urb : it->second.reapable) g_object_unref(urb);
        for (UMockdevIoctlData* urb : it->second.pending) g_object_unref(urb);
        g_object_unref(it->first);
        node.clients.erase(it);
    }

    // A closed file gives up what it held, as the kernel releases a file's claims when it is
    // closed (umockdev tells a closed client by its "connected" property).
    static void ForgetClosedLocked(Node& node) {
        for (auto it = node.clients.begin(); it != node.clients.end();) {
            auto next = std::next(it);
            if (!umockdev_ioctl_client_get_connected(it->first)) Forget(node, it);
            it = next;
        }
    }

    static UMockdevIoctlClient* ClaimerLocked(const Node& node, unsigned interface) {
        for (const auto& [client, state] : node.clients) {
            if (state.claims.count(interface) != 0) return client;
        }
        return nullptr;
    }

    // Resolves the ioctl's argument as a struct of type T; null when it cannot be read.
    template <typename T>
    static UMockdevIoctlData* Resolve(UMockdevIoctlData* arg) {
        return umockdev_ioctl_data_resolve(arg, 0, sizeof(T), nullptr);
    }

    bool HasInterface(const Node& node, unsigned number) const {
        const auto all = Interfaces(node.config);
        return std::any_of(all.begin(), all.end(),
                           [number](const InterfaceInfo& i) { return i.number == number; });
    }

    // The errno of the answer, 0 for success.
    int AnswerLocked(Node& node, UMockdevIoctlClient* client, gulong request,
                     UMockdevIoctlData* arg) {
        switch (request) {
            case USBDEVFS_GET_CAPABILITIES: {
                UMockdevIoctlData* caps = Resolve<std::uint32_t>(arg);
                if (caps == nullptr) return EFAULT;
                const std::uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION |
                                            USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                            USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
                std::memcpy(caps->data, &value, sizeof value);
                g_object_unref(caps);
                return 0;
            }
            case USBDEVFS_CLAIMINTERFACE:
            case USBDEVFS_RELEASEINTERFACE: {
                UMockdevIoctlData* number = Resolve<unsigned>(arg);
                if (number == nullptr) return EFAULT;
                unsigned interface = 0;
                std::memcpy(&interface, number->data, sizeof interface);
                g_object_unref(number);
                return request == USBDEVFS_CLAIMINTERFACE ? Claim(node, client, interface)
                                                          : Release(node, client, interface);
            }
            case USBDEVFS_DISCONNECT_CLAIM: {
                UMockdevIoctlData* d = Resolve<usbdevfs_disconnect_claim>(arg);
                if (d == nullptr) return EFAULT;
                usbdevfs_disconnect_claim dc;
                std::memcpy(&dc, d->data, sizeof dc);
                g_object_unref(d);
                Disconnect(node, dc.interface);
                return Claim(node, client, dc.interface);
            }
            case USBDEVFS_GETDRIVER: {
                UMockdevIoctlData* d = Resolve<usbdevfs_getdriver>(arg);
                if (d == nullptr) return EFAULT;
                auto* get = reinterpret_cast<usbdevfs_getdriver*>(d->data);
                const std::string driver = DriverLocked(node, get->interface);
                if (!driver.empty()) {
                    std::memset(get->driver, 0, sizeof get->driver);
                    std::memcpy(get->driver, driver.data(),
                                std::min(driver.size(), sizeof get->driver - 1));
                }
                g_object_unref(d);
                return driver.empty() ? ENODATA : 0;
            }
            case USBDEVFS_IOCTL: {
                UMockdevIoctlData* d = Resolve<usbdevfs_ioctl>(arg);
                if (d == nullptr) return EFAULT;
                usbdevfs_ioctl command;
                std::memcpy(&command, d->data, sizeof command);
                g_object_unref(d);
                const unsigned interface = static_cast<unsigned>(command.ifno);
                if (static_cast<unsigned long>(command.ioctl_code) == USBDEVFS_DISCONNECT) {
                    return Disconnect(node, interface) ? 0 : ENODATA;
                }
                if (static_cast<unsigned long>(command.ioctl_code) == USBDEVFS_CONNECT) {
                    return Connect(node, interface);
                }
                return ENOTTY;
            }
            case USBDEVFS_SETINTERFACE: {
                UMockdevIoctlData* d = Resolve<usbdevfs_setinterface>(arg);
                if (d == nullptr) return EFAULT;
                usbdevfs_setinterface set;
                std::memcpy(&set, d->data, sizeof set);
                g_object_unref(d);
                return HasInterface(node, set.interface) && set.altsetting == 0 ? 0 : EINVAL;
            }
            case USBDEVFS_SETCONFIGURATION:
                return 0;  // the devices have the one configuration, which is active
            case USBDEVFS_SUBMITURB:
                return Submit(node, client, arg);
            case USBDEVFS_REAPURB:
            case USBDEVFS_REAPURBNDELAY:
                return Reap(node, client, arg);
            case USBDEVFS_DISCARDURB:
                return Discard(node, client, arg);
            case USBDEVFS_RESET:
                return Reset(node);
            default:
                return ENOTTY;
        }
    }

    std::string DriverLocked(const Node& node, unsigned interface) const {
        if (ClaimerLocked(node, interface) != nullptr) return "usbfs";
        auto bound = node.drivers.find(interface);
        return bound != node.drivers.end() ? bound->second : std::string();
    }

    int Claim(Node& node, UMockdevIoctlClient* client, unsigned interface) {
        if (!HasInterface(node, interface)) return ENOENT;
        ForgetClosedLocked(node);
        UMockdevIoctlClient* claimer = ClaimerLocked(node, interface);
        if (claimer != nullptr) return claimer == client ? 0 : EBUSY;
        if (node.drivers.count(interface) != 0) return EBUSY;
        ClientOf(node, client).claims.insert(interface);
        return 0;
    }

    int Release(Node& node, UMockdevIoctlClient* client, unsigned interface) {
        auto it = node.clients.find(client);
        if (it == node.clients.end() || it->second.claims.erase(interface) == 0) return EINVAL;
        return 0;
    }

    bool Disconnect(Node& node, unsigned interface) {
        auto bound = node.drivers.find(interface);
        if (bound == node.drivers.end()) return false;
        node.detached[interface] = bound->second;
        node.drivers.erase(bound);
        ++ports[node.port].counters.driverDetaches;
        return true;
    }

    int Connect(Node& node, unsigned interface) {
        if (ClaimerLocked(node, interface) != nullptr) return EBUSY;
        auto unbound = node.detached.find(interface);
        if (unbound == node.detached.end()) return ENODATA;
        node.drivers[interface] = unbound->second;
        node.detached.erase(unbound);
        ++ports[node.port].counters.driverAttaches;
        return 0;
    }

    int Submit(Node& node, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        UMockdevIoctlData* urbData = Resolve<usbdevfs_urb>(arg);
        if (urbData == nullptr) return EFAULT;
        auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
        if (urb->type != USBDEVFS_URB_TYPE_CONTROL || urb->buffer_length < 8) {
            g_object_unref(urbData);
            return EINVAL;
        }
        UMockdevIoctlData* buffer =
            umockdev_ioctl_data_resolve(urbData, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                        static_cast<gsize>(urb->buffer_length), nullptr);
        if (buffer == nullptr) {
            g_object_unref(urbData);
            return EFAULT;
        }
        std::uint8_t* bytes = buffer->data;
        Setup setup;
        setup.requestType = bytes[0];
        setup.request = bytes[1];
        setup.value = static_cast<std::uint16_t>(bytes[2] | (bytes[3] << 8));
        setup.index = static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8));
        setup.length = static_cast<std::uint16_t>(bytes[6] | (bytes[7] << 8));
        if (setup.length > urb->buffer_length - 8) {
            g_object_unref(buffer);
            g_object_unref(urbData);
            return EINVAL;
        }
        DfuDevice& device = *ports[node.port].device;
        ++ports[node.port].counters.controlUrbs;
        if (ports[node.port].hung && (setup.requestType & 0x60) != 0) {
            // The device's firmware does not answer (its USB core still gives descriptors):
            // the URB waits until the host discards it.
            g_object_unref(buffer);
            ClientOf(node, client).pending.push_back(urbData);
            return 0;
        }
        std::size_t transferred = 0;
        const Transfer result = device.Control(setup, bytes + 8, transferred);
        urb->actual_length = 0;
        urb->status = 0;
        switch (result) {
            case Transfer::ok:
                // An OUT data stage is all taken; an IN one is what the device gave.
                urb->actual_length =
                    static_cast<int>((setup.requestType & 0x80) ? transferred : setup.length);
                break;
            case Transfer::stall:
                urb->status = -EPIPE;
                break;
            case Transfer::gone:
                urb->status = -ESHUTDOWN;
                break;
            case Transfer::error:
                urb->status = -EPROTO;
                break;
        }
        if (result == Transfer::gone || device.EnumerationCount() != node.enumeration) {
            node.stale = true;
        }
        g_object_unref(buffer);
        ClientOf(node, client).reapable.push_back(urbData);  // the queue keeps the reference
        return 0;
    }

    int Reap(Node& node, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        auto it = node.clients.find(client);
        if (it == node.clients.end() || it->second.reapable.empty()) {
            return node.stale ? ENODEV : EAGAIN;
        }
        UMockdevIoctlData* urbData = it->second.reapable.front();
        it->second.reapable.pop_front();
        if (it->second.discarded.erase(urbData) != 0) {
            auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
            urb->status = -ENOENT;  // as the kernel gives back a URB it cancelled
            urb->actual_length = 0;
        }
        UMockdevIoctlData* pointer = Resolve<void*>(arg);
        if (pointer == nullptr) {
            g_object_unref(urbData);
            return EFAULT;
        }
        umockdev_ioctl_data_set_ptr(pointer, 0, urbData);
        g_object_unref(pointer);
        g_object_unref(urbData);
        return 0;
    }

    // The argument is the URB's address in the client: a pending one is cancelled and can be
    // reaped; one that completed already cannot be discarded (EINVAL).
    int Discard(Node& node, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        auto it = node.clients.find(client);
        if (it == node.clients.end()) return EINVAL;
        gulong address = 0;
        std::memcpy(&address, arg->data,
                    std::min(sizeof address, static_cast<std::size_t>(arg->data_len)));
        auto& pending = it->second.pending;
        auto found = std::find_if(pending.begin(), pending.end(), [&](UMockdevIoctlData* urb) {
            return urb->client_addr == address;
        });
        if (found == pending.end()) return EINVAL;
        it->second.discarded.insert(*found);
        it->second.reapable.push_back(*found);
        pending.erase(found);
        return 0;
    }

    int Reset(Node& node) {
        DfuDevice& device = *ports[node.port].device;
        const Transfer result = device.Reset();
        if (result == Transfer::error) return EIO;
        std::vector<std::uint8_t> deviceDescriptor, config;
        if (result == Transfer::ok && ReadDescriptors(device, deviceDescriptor, config) &&
            deviceDescriptor == node.deviceDescriptor && config == node.config) {
            // Back with the same descriptors: the kernel keeps the node.
            node.enumeration = device.EnumerationCount();
            return 0;
        }
        node.stale = true;
        return ENODEV;
    }
};

UsbfsBus::UsbfsBus() : impl_(std::make_unique<Impl>()) {
    impl_->testbed = umockdev_testbed_new();
    impl_->monitor = std::thread([this] { impl_->MonitorLoop(); });
}

UsbfsBus::~UsbfsBus() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->quit = true;
        for (auto& [number, port] : impl_->ports) port.plugged = false;
    }
    impl_->changed.notify_all();
    impl_->monitor.join();
    // The nodes go with the test bed; their handlers after it.
    std::vector<std::shared_ptr<Impl::Node>> nodes = impl_->retired;
    for (auto& [number, port] : impl_->ports) {
        if (port.node) nodes.push_back(port.node);
    }
    g_object_unref(impl_->testbed);
    for (auto& node : nodes) {
        while (!node->clients.empty()) Impl::Forget(*node, node->clients.begin());
        g_object_unref(node->handler);
    }
}

bool UsbfsBus::InMockEnvironment() {
    return umockdev_in_mock_environment() != FALSE;
}

void UsbfsBus::Plug(DfuDevice& device, int port, const PlugOptions& options) {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        Impl::Port& p = impl_->ports[port];
        p.device = &device;
        p.options = options;
        p.plugged = true;
    }
    impl_->changed.notify_all();
    WaitForNode(port, 0, 2000);
}

void UsbfsBus::Unplug(int port) {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->ports[port].plugged = false;
    }
    impl_->changed.notify_all();
    std::unique_lock<std::mutex> lock(impl_->mutex);
    impl_->changed.wait_for(lock, std::chrono::seconds(2),
                            [&] { return !impl_->ports[port].node; });
    impl_->ports[port].device = nullptr;  // the device may go now
}

void UsbfsBus::SetHung(int port, bool hung) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->ports[port].hung = hung;
}

int UsbfsBus::DeviceNumber(int port) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const auto& node = impl_->ports[port].node;
    return node ? node->devnum : 0;
}

std::string UsbfsBus::DeviceNode(int port) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const auto& node = impl_->ports[port].node;
    return node ? node->devnode : std::string();
}

std::string UsbfsBus::BoundDriver(int port) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const auto& node = impl_->ports[port].node;
    if (!node) return {};
    for (const InterfaceInfo& i : Interfaces(node->config)) {
        if (i.cls == 0xFE && i.subclass == 0x01) return impl_->DriverLocked(*node, i.number);
    }
    return {};
}

PortCounters UsbfsBus::Counters(int port) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->ports[port].counters;
}

bool UsbfsBus::WaitForNode(int port, int notNumber, int timeoutMs) {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        const auto& node = impl_->ports[port].node;
        return node && node->ready && node->devnum != notNumber;
    });
}

std::string UsbfsBus::RootDir() const {
    gchar* root = umockdev_testbed_get_root_dir(impl_->testbed);
    std::string text = root;
    g_free(root);
    return text;
}

}  // namespace qvdfu
