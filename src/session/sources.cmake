target_sources(kestrel_core PRIVATE
    src/session/Acceptor.cpp
    src/session/ErrorLog.cpp
    src/session/LogFile.cpp
    src/session/Session.cpp
    src/session/SpareHandle.cpp
    src/session/Winsock.cpp
)
target_sources(kestrel_gui PRIVATE
    src/session/Shape.cpp
    src/session/TypedLengthValidator.cpp
    src/session/frmDocument.cpp
)
