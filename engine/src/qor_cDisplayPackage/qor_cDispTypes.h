// Handles and enumerations of the display device (Parts 5.1 and 5.3). No GL type appears here.
// The enumerations have a fixed underlying type: callers cast stored integers to them, and a
// value outside the list must reach the device (which refuses it) without undefined behaviour.
#pragma once

#include "qor_types.h"

// 32-bit texture handle issued by the display device. Handles come from one counter shared by
// 2D and cube textures (the first is 1); a cube handle has bit 0x10000000 set; bit 0x20000000
// is reserved (setTexture refuses it); 0x0FFFFFFF is the null handle.
typedef uint qor_hTexture;
typedef qor_hTexture qor_hTextureSurface;

const qor_hTexture QOR_NULL_TEXTURE = 0x0FFFFFFFu;
const qor_hTexture QOR_CUBE_TEXTURE_BIT = 0x10000000u;
const qor_hTexture QOR_RESERVED_TEXTURE_BIT = 0x20000000u;

// Index into the device's 10 matrices. Only world, view, projection and the two texture
// stages reach the pipeline; the others are only stored.
enum qor_eTransformState : int
{
    qorrs_ts_world = 0,
    qorrs_ts_view = 1,
    qorrs_ts_2 = 2,
    qorrs_ts_projection = 3,
    qorrs_ts_4 = 4,
    qorrs_ts_5 = 5,
    qorrs_ts_6 = 6,
    qorrs_ts_7 = 7,
    qorrs_ts_texture0 = 8,
    qorrs_ts_texture1 = 9,
    qorrs_ts_count = 10,
};

// Texture stage argument (D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_SPECULAR).
enum qor_eTexArg : int
{
    qorrs_texarg_current = 0,
    qorrs_texarg_texture = 1,
    qorrs_texarg_diffuse = 2,
    qorrs_texarg_specular = 3,
};

// Texture stage operation (D3DTOP_...).
enum qor_eTexOp : int
{
    qorrs_texop_disable = 0,
    qorrs_texop_selectarg1 = 1,
    qorrs_texop_selectarg2 = 2,
    qorrs_texop_modulate = 3,
    qorrs_texop_modulate2x = 4,
    qorrs_texop_modulate4x = 5,
    qorrs_texop_add = 6,
    qorrs_texop_addsigned = 7,
    qorrs_texop_addsigned2x = 8,
    qorrs_texop_subtract = 9,
    qorrs_texop_dotproduct3 = 10,
};

// Blend factor of setBlendMode and qor_cBlendSettings. 6 and 7 are the destination colour, 8
// and 9 the destination alpha (the reverse of Direct3D's order).
enum qor_eBlend : int
{
    qorrs_blend_zero = 0,
    qorrs_blend_one = 1,
    qorrs_blend_srccolor = 2,
    qorrs_blend_invsrccolor = 3,
    qorrs_blend_srcalpha = 4,
    qorrs_blend_invsrcalpha = 5,
    qorrs_blend_destcolor = 6,
    qorrs_blend_invdestcolor = 7,
    qorrs_blend_destalpha = 8,
    qorrs_blend_invdestalpha = 9,
    qorrs_blend_srcalphasat = 10,
    qorrs_blend_bothsrcalpha = 11,
    qorrs_blend_bothinvsrcalpha = 12,
};

// Where a lighting colour comes from (D3DMCS_...).
enum qor_eMatSrc : int
{
    qorrs_matsrc_material = 0,
    qorrs_matsrc_color1 = 1,
    qorrs_matsrc_color2 = 2,
};

// Cube map faces, numbered as D3DCUBEMAP_FACES.
enum qor_eCubeMapFace : int
{
    qorrs_cubeface_posx = 0,
    qorrs_cubeface_negx = 1,
    qorrs_cubeface_posy = 2,
    qorrs_cubeface_negy = 3,
    qorrs_cubeface_posz = 4,
    qorrs_cubeface_negz = 5,
};

// Clear flags.
enum
{
    QOR_CLEAR_TARGET = 1,
    QOR_CLEAR_ZBUFFER = 2,
    QOR_CLEAR_STENCIL = 4,
};

// createTexture flags.
enum
{
    QOR_TEX_MIPMAP = 1,       // full mipmap chain
    QOR_TEX_RENDERTARGET = 2, // render target, back-buffer format
    QOR_TEX_A1R5G5B5 = 4,     // 16-bit with 1-bit alpha
    QOR_TEX_A8R8G8B8 = 8,     // 32-bit with alpha
};
