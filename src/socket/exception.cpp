#include "nysocket.h"

NySocketException::NySocketException(char const* thrownBy, int nativeError, int id, char const* text)
    : m_thrownBy(thrownBy ? thrownBy : ""), m_nativeError(nativeError), m_id(id), m_text(text ? text : "")
{
}
