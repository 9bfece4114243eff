#include "SceneTestSupport.h"

constinit const TSClassInfo TRecordingDrawSystem::ClassInfo{"TRecordingDrawSystem", &TSCustomDrawSystem3D::ClassInfo,
                                                            &TSNewObject<TRecordingDrawSystem>};
