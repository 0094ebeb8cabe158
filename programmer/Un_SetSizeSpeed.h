#pragma once
class TfrmSetZizeSpeed;
