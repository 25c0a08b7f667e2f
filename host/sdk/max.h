// Everything of the host's object model in one include.
#pragma once
#include "host/core/core.h"
#include "host/sdk/hold.h"
#include "host/sdk/ifnpub.h"
#include "host/sdk/inode.h"
#include "host/sdk/interface.h"
#include "host/sdk/ioapi.h"
#include "host/sdk/iparamb2.h"
#include "host/sdk/mtllib.h"
#include "host/sdk/object.h"
#include "host/sdk/particles.h"
#include "host/sdk/primitives.h"
#include "host/sdk/ref.h"
