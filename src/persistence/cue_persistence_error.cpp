#include "persistence/cue_persistence_error.h"

namespace tavrel {

std::string unsupportedSchemaMessage(std::int64_t version) {
    return "지원하지 않는 데이터 스키마 버전입니다: " + std::to_string(version);
}

std::string unconfirmedWriteMessage(const std::string& reason) {
    return "변경 내용은 저장했지만 디스크에 완전히 기록되었는지 확인하지 못했습니다. (" + reason +
           ")";
}

CuePersistenceError CuePersistenceError::unsupportedSchema(std::int64_t version) {
    CuePersistenceError error(Kind::unsupportedSchema, unsupportedSchemaMessage(version));
    error.m_schemaVersion = version;
    return error;
}

CuePersistenceError CuePersistenceError::invalidDocument(const std::filesystem::path& preservedURL,
                                                         const std::string& reason) {
    CuePersistenceError error(Kind::invalidDocument, "설정 파일을 읽지 못했습니다. 원본을 " +
                                                         preservedURL.filename().string() +
                                                         "에 보존했습니다. (" + reason + ")");
    error.m_url = preservedURL;
    error.m_reason = reason;
    return error;
}

CuePersistenceError CuePersistenceError::documentNotRegularFile() {
    const std::string reason = "cues.json이 일반 파일이 아닙니다.";
    CuePersistenceError error(Kind::documentNotRegularFile,
                              "설정 파일을 읽지 못했습니다. (" + reason + ")");
    error.m_reason = reason;
    return error;
}

CuePersistenceError CuePersistenceError::invalidBackup(const std::string& reason) {
    CuePersistenceError error(Kind::invalidBackup,
                              "불러올 세트가 올바르지 않습니다. (" + reason + ")");
    error.m_reason = reason;
    return error;
}

CuePersistenceError CuePersistenceError::missingBackupMedia(const std::string& filename) {
    CuePersistenceError error(Kind::missingBackupMedia,
                              "세트에 필요한 미디어 파일이 없습니다: " + filename);
    error.m_name = filename;
    return error;
}

CuePersistenceError CuePersistenceError::unsafeExportDestination(const std::string& name) {
    CuePersistenceError error(
        Kind::unsafeExportDestination,
        "기존 " + name + "은(는) Tavrel 세트 폴더가 아니므로 교체하지 않았습니다.");
    error.m_name = name;
    return error;
}

CuePersistenceError CuePersistenceError::invalidSavedSet(const std::string& name,
                                                         const std::string& reason) {
    CuePersistenceError error(Kind::invalidSavedSet, "저장한 세트 " + name +
                                                         "을(를) 읽지 못해 미디어 정리를 "
                                                         "중단했습니다. (" +
                                                         reason + ")");
    error.m_name = name;
    error.m_reason = reason;
    return error;
}

CuePersistenceError CuePersistenceError::linkedLibraryFolder(const std::string& name) {
    CuePersistenceError error(Kind::linkedLibraryFolder,
                              "라이브러리의 " + name +
                                  " 폴더가 링크이거나 폴더가 아니어서 사용하지 않습니다. "
                                  "링크를 실제 폴더로 바꾼 뒤 다시 시작하세요.");
    error.m_name = name;
    return error;
}

}  // namespace tavrel
