// The 3D project in the project file: its two blocks, the begin, end and link
// passes, the relocation of referenced files and the windows shown after a
// load.

#include "viewer3d/project/HcProject3D.h"

#include "engine3d/model/GeneralProc.h"
#include "platform/threads/GuiThread.h"
#include "platform/resources/Settings.h"

#include <algorithm>
#include <filesystem>

namespace {

// The smallest record a viewer or depository pair takes: an empty object
// record (12 bytes) and an identity.
constexpr std::int64_t kPairBytes = 16;
constexpr std::int64_t kFolderBytes = 4;
constexpr std::size_t kWindowOrderBlock = 16;

// A count is refused when the bytes left cannot hold that many items.
bool CountFits(TSObjectsStream* Stream, std::int32_t Count, std::int64_t ItemBytes)
{
    if (Count < 0)
        return false;
    const std::int64_t left = Stream->Remaining();
    return left < 0 || Count <= left / ItemBytes;
}

bool IsFile(const std::string& Name)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(Name, ec);
}

std::string WithSlash(std::string Folder)
{
    if (!Folder.empty() && Folder.back() != '/')
        Folder += '/';
    return Folder;
}

}  // namespace

void THalcyte3DProject::InvalidValue() const
{
    throw EStreamError(ObjectErrorText(this, sCantLoad, sInvalidValue));
}

// ---------------------------------------------------------------------------
// Folders and relocation

void THalcyte3DProject::GetDefaultWorkDir(std::vector<std::string>& List)
{
    List.clear();
    const std::string file = FileName();
    const std::size_t slash = file.find_last_of('/');
    List.push_back(slash == std::string::npos ? std::string() : file.substr(0, slash + 1));
    plat::SettingsKey key;
    if (!key.Open(plat::SettingsRoot::CurrentUser, kWorkDirKey)) {
        List.emplace_back();
        return;
    }
    std::string folder;
    if (const auto value = key.Value(kWorkDirValue); value && value->type == plat::SettingsType::String) {
        folder.assign(value->bytes.begin(), value->bytes.end());
        folder.resize(std::min(folder.size(), folder.find('\0')));
    }
    List.push_back(WithSlash(folder));
}

bool RelocatePath(const std::string& NewPrefix, const std::string& OldPrefix, std::string& Name)
{
    const std::size_t length = OldPrefix.size();
    if (length < 1 || length >= Name.size() || !SameText(Name.substr(0, length), OldPrefix))
        return false;
    std::string candidate = NewPrefix + Name.substr(length);
    if (!IsFile(candidate))
        return false;
    Name = std::move(candidate);
    return true;
}

bool THalcyte3DProject::RelocateFile(std::string& FileName, std::int32_t)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(FileName, ec);
    if (!ec)
        FileName = full.lexically_normal().string();
    if (IsFile(FileName))
        return true;
    std::lock_guard folders(m_foldersLock);
    if (!m_storedFolders || !m_currentFolders)
        return false;
    const std::size_t count = std::min(m_storedFolders->size(), m_currentFolders->size());
    for (std::size_t i = 0; i < count; ++i)
        if (RelocatePath((*m_currentFolders)[i], (*m_storedFolders)[i], FileName))
            return true;
    return false;
}

std::vector<std::string> THalcyte3DProject::CurrentFolders() const
{
    std::lock_guard folders(m_foldersLock);
    return m_currentFolders ? *m_currentFolders : std::vector<std::string>();
}

std::vector<std::string> THalcyte3DProject::StoredFolders() const
{
    std::lock_guard folders(m_foldersLock);
    return m_storedFolders ? *m_storedFolders : std::vector<std::string>();
}

// ---------------------------------------------------------------------------
// Operations

std::int32_t THalcyte3DProject::BeginOperation(std::int32_t Operation)
{
    if (Operation != ocSave && Operation != ocLoad)
        return -1;
    std::vector<std::string> current;
    GetDefaultWorkDir(current);
    {
        std::lock_guard folders(m_foldersLock);
        m_currentFolders = std::make_unique<std::vector<std::string>>(std::move(current));
    }
    // Loading replaces what the render draws, and a save must not catch a
    // depository's record applied for a picture: the render waits until the
    // operation ends.
    if (Operation == ocLoad)
        m_loadLinked = false;
    PauseRendering();
    std::int32_t answer = -1;
    auto begin = [&](TSObject* Object) {
        if (Object != nullptr)
            answer += Object->Process(ocBeginOperation, Operation);
    };
    try {
        for (std::int32_t i = 0, n = ViewerCount(); i < n; ++i)
            begin(GetViewer(i));
        for (TSCustomChangeObject* list : Lists())
            begin(list);
        for (std::int32_t i = 0, n = DepositoryCount(); i < n; ++i)
            begin(GetDepositoryPair(i).Depository);
    } catch (...) {
        ResumeRendering();
        throw;
    }
    return answer;
}

std::int32_t THalcyte3DProject::EndOperation(std::int32_t Operation)
{
    if (Operation != ocSave && Operation != ocLoad)
        return -1;
    std::int32_t answer = -1;
    std::exception_ptr failure;
    auto end = [&](TSObject* Object) {
        if (Object == nullptr)
            return;
        // Every object ends its operation, whatever another's end did.
        try {
            answer += Object->Process(ocEndOperation, Operation);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    };
    for (std::int32_t i = 0, n = ViewerCount(); i < n; ++i)
        end(GetViewer(i));
    for (TSCustomChangeObject* list : Lists())
        end(list);
    for (std::int32_t i = 0, n = DepositoryCount(); i < n; ++i)
        end(GetDepositoryPair(i).Depository);
    {
        std::lock_guard folders(m_foldersLock);
        m_currentFolders.reset();
        m_storedFolders.reset();
    }
    if (Operation == ocLoad) {
        // A load that did not get to its links holds identities, not objects:
        // nothing of it is drawn or shown.
        if (m_loadLinked && !failure) {
            {
                std::lock_guard viewers(m_viewersLock);
                m_redrawAll = true;
                m_dirty = true;
            }
            try {
                RenderDue(nullptr);
            } catch (...) {
                Events.Notify(this, ecRenderFailed, 1);
            }
            RestackWindows();
        }
        SetWindowOrderCount(0);
    }
    ResumeRendering();
    if (failure)
        std::rethrow_exception(failure);
    return answer;
}

// ---------------------------------------------------------------------------
// Blocks

std::int32_t THalcyte3DProject::WriteObjectsHeader(TSObjectsStream* Stream)
{
    const std::int32_t inherited = TSProject::WriteObjectsHeader(Stream);
    const std::vector<std::string> folders = CurrentFolders();
    std::int32_t bytes = 20;
    if (Stream != nullptr) {
        Stream->WriteInt32(m_renderMode.load());
        Stream->WriteInt32(m_stopAtOnce.load());
        Stream->WriteInt32(m_pauseWait[0].load());
        Stream->WriteInt32(m_pauseWait[1].load());
        Stream->WriteInt32(static_cast<std::int32_t>(folders.size()));
    }
    for (const std::string& folder : folders)
        bytes += WriteStreamString(Stream, folder);
    return inherited + bytes;
}

std::int32_t THalcyte3DProject::ReadObjectsHeader(TSObjectsStream* Stream)
{
    const std::int32_t inherited = TSProject::ReadObjectsHeader(Stream);
    if (Stream == nullptr)
        return inherited;
    const std::int32_t mode = Stream->ReadInt32();
    const std::int32_t stopAtOnce = Stream->ReadInt32();
    const std::int32_t wait0 = Stream->ReadInt32();
    const std::int32_t wait1 = Stream->ReadInt32();
    const std::int32_t count = Stream->ReadInt32();
    if (!CountFits(Stream, count, kFolderBytes))
        InvalidValue();
    std::int32_t bytes = 20;
    auto stored = std::make_unique<std::vector<std::string>>();
    for (std::int32_t i = 0; i < count; ++i) {
        std::string folder;
        bytes += ReadStreamString(Stream, folder);
        stored->push_back(std::move(folder));
    }
    m_renderMode = static_cast<std::uint8_t>(mode & 0xFF);
    m_stopAtOnce = stopAtOnce;
    m_pauseWait[0] = wait0;
    m_pauseWait[1] = wait1;
    std::lock_guard folders(m_foldersLock);
    m_storedFolders = std::move(stored);
    return inherited + bytes;
}

std::int32_t THalcyte3DProject::WriteObjects(TSObjectsStream* Stream)
{
    const std::int32_t inherited = TSProject::WriteObjects(Stream);
    if (Stream == nullptr)
        return inherited;
    std::vector<TSViewerEntry> viewers;
    {
        std::lock_guard guard(m_viewersLock);
        viewers = m_viewers;
    }
    std::vector<TSDepositoryPair> pairs;
    {
        std::lock_guard guard(m_depositoryLock);
        pairs = m_depositories;
    }
    std::int32_t bytes = 4;
    Stream->WriteInt32(static_cast<std::int32_t>(viewers.size()));
    for (const TSViewerEntry& entry : viewers) {
        bytes += Stream->WriteObject(entry.DrawSystem);
        const std::uint32_t camera = Stream->ObjectIdentity(entry.Camera);
        Stream->Write(&camera, 4);
        bytes += 4;
    }
    for (TSCustomChangeObject* list : Lists())
        bytes += Stream->WriteObject(list);
    Stream->WriteInt32(static_cast<std::int32_t>(pairs.size()));
    bytes += 4;
    for (const TSDepositoryPair& pair : pairs) {
        bytes += Stream->WriteObject(pair.Depository);
        const std::uint32_t object = Stream->ObjectIdentity(pair.Object);
        Stream->Write(&object, 4);
        bytes += 4;
    }
    return inherited + bytes;
}

std::int32_t THalcyte3DProject::ReadObjects(TSObjectsStream* Stream)
{
    const std::int32_t inherited = TSProject::ReadObjects(Stream);
    if (Stream == nullptr)
        return inherited;
    SetViewerCount(0);
    SetDepositoryCount(0);

    std::int32_t bytes = 4;
    const std::int32_t viewerCount = Stream->ReadInt32();
    if (!CountFits(Stream, viewerCount, kPairBytes))
        InvalidValue();
    SetViewerCount(viewerCount);
    for (std::int32_t i = 0; i < viewerCount; ++i) {
        TSObject* read = nullptr;
        bytes += Stream->ReadObject(read, &TSCustomDrawSystem3D::ClassInfo);
        auto* drawSystem = static_cast<TSCustomDrawSystem3D*>(read);
        std::uint32_t camera = 0;
        Stream->Read(&camera, 4);
        bytes += 4;
        {
            std::lock_guard guard(m_viewersLock);
            m_viewers[static_cast<std::size_t>(i)] = {drawSystem, nullptr, 0, camera};
        }
        if (drawSystem != nullptr)
            drawSystem->Events.Add(MemberHandler());
    }

    TSObject* read = nullptr;
    bytes += Stream->ReadObject(read, &TSCustomChangeObjectList::ClassInfo);
    if (read != nullptr)
        ReplaceList(m_customObjects, static_cast<TSCustomChangeObjectList*>(read), CustomHandler());
    read = nullptr;
    bytes += Stream->ReadObject(read, &TSCustomConstruction3DList::ClassInfo);
    if (read != nullptr)
        ReplaceList(m_objects, static_cast<TSCustomConstruction3DList*>(read), MemberHandler());
    read = nullptr;
    bytes += Stream->ReadObject(read, &TSCustomLightSystem3DList::ClassInfo);
    if (read != nullptr)
        ReplaceList(m_lights, static_cast<TSCustomLightSystem3DList*>(read), MemberHandler());
    read = nullptr;
    bytes += Stream->ReadObject(read, &TSCustomProjectionSystem3DList::ClassInfo);
    if (read != nullptr)
        ReplaceList(m_cameras, static_cast<TSCustomProjectionSystem3DList*>(read), MemberHandler());

    const std::int32_t pairCount = Stream->ReadInt32();
    bytes += 4;
    if (!CountFits(Stream, pairCount, kPairBytes))
        InvalidValue();
    SetDepositoryCount(pairCount);
    for (std::int32_t i = 0; i < pairCount; ++i) {
        TSObject* depository = nullptr;
        bytes += Stream->ReadObject(depository, &TSObject::ClassInfo);
        std::uint32_t object = 0;
        Stream->Read(&object, 4);
        bytes += 4;
        std::lock_guard guard(m_depositoryLock);
        m_depositories[static_cast<std::size_t>(i)] = {depository, nullptr, object};
    }
    return inherited + bytes;
}

std::int32_t THalcyte3DProject::Link(TSObjectsStream* Stream)
{
    std::int32_t answer = TSProject::Link(Stream);
    for (std::int32_t i = 0, n = ViewerCount(); i < n; ++i) {
        const TSViewerEntry entry = GetViewerEntry(i);
        TSCustomProjectionSystem3D* camera = nullptr;
        if (entry.DrawSystem != nullptr) {
            answer += 1 + std::max(0, entry.DrawSystem->Process(ocLink, reinterpret_cast<TSParam>(Stream)));
            camera = static_cast<TSCustomProjectionSystem3D*>(
                Stream->FindObject(entry.CameraId, &TSCustomProjectionSystem3D::ClassInfo));
            // Only a member of Cameras is watched for its end.
            if (!Holds(m_cameras, camera))
                camera = nullptr;
        }
        std::lock_guard guard(m_viewersLock);
        if (i < static_cast<std::int32_t>(m_viewers.size())) {
            m_viewers[static_cast<std::size_t>(i)].Camera = camera;
            m_viewers[static_cast<std::size_t>(i)].CameraId = 0;
        }
    }
    for (TSCustomChangeObject* list : Lists())
        if (list != nullptr)
            answer += std::max(0, list->Process(ocLink, reinterpret_cast<TSParam>(Stream)));
    for (std::int32_t i = 0, n = DepositoryCount(); i < n; ++i) {
        const TSDepositoryPair pair = GetDepositoryPair(i);
        if (pair.Depository == nullptr)
            continue;
        answer += 1 + std::max(0, pair.Depository->Process(ocLink, reinterpret_cast<TSParam>(Stream)));
        TSObject* object = Stream->FindObject(pair.ObjectId, &TSObject::ClassInfo);
        // Only an object of this project is watched for its end.
        TSHolderQuery query{object, nullptr};
        if (object != nullptr && FindHolder(&query, &query.Holder) <= 0)
            object = nullptr;
        std::lock_guard guard(m_depositoryLock);
        if (i < static_cast<std::int32_t>(m_depositories.size())) {
            m_depositories[static_cast<std::size_t>(i)].Object = object;
            m_depositories[static_cast<std::size_t>(i)].ObjectId = 0;
        }
    }
    m_loadLinked = true;
    return answer;
}

// ---------------------------------------------------------------------------
// Windows shown after a load

void THalcyte3DProject::SetWindowOrderCount(std::int32_t N)
{
    N = std::max(N, 0);
    std::lock_guard windows(m_windowsLock);
    if (static_cast<std::size_t>(N) > m_windowOrder.capacity())
        m_windowOrder.reserve((static_cast<std::size_t>(N) + kWindowOrderBlock - 1) / kWindowOrderBlock *
                              kWindowOrderBlock);
    m_windowOrder.resize(static_cast<std::size_t>(N));
}

void THalcyte3DProject::RegisterWindow(QWidget* Window, std::int32_t Order)
{
    std::lock_guard windows(m_windowsLock);
    const auto at = std::find_if(m_windowOrder.begin(), m_windowOrder.end(),
                                 [Order](const auto& Pair) { return Pair.second < Order; });
    m_windowOrder.insert(at, {QPointer<QWidget>(Window), Order});
}

std::vector<std::pair<QWidget*, std::int32_t>> THalcyte3DProject::WindowOrder() const
{
    std::lock_guard windows(m_windowsLock);
    std::vector<std::pair<QWidget*, std::int32_t>> order;
    for (const auto& [window, place] : m_windowOrder)
        order.emplace_back(window.data(), place);
    return order;
}

void THalcyte3DProject::RestackWindows()
{
    std::vector<QPointer<QWidget>> windows;
    {
        std::lock_guard guard(m_windowsLock);
        for (const auto& pair : m_windowOrder)
            windows.push_back(pair.first);
    }
    // Lowest first: the last one shown ends on top.
    plat::CallOnGuiThread([&windows] {
        for (const QPointer<QWidget>& window : windows) {
            if (window.isNull())
                continue;
            window->show();
            if (window->isWindow())
                window->raise();
        }
    });
}
