// qor_cScene: one loaded 3D scene: its objects (meshes, cameras, camera targets, omni lights,
// bones, dummies, gizmos, particle systems), the resources they use (triangle meshes,
// materials, textures), an optional fog, the ambient and background colours, and up to 32
// additional scenes rendered into textures before it. Loaded once from a scene file and its
// animation file, then advanced every frame by the elapsed time and drawn through the display.
//
// Frame cycle: clearUpdatedFlags(), update(&dt), render(). rewind() returns everything that
// depends on time to 0 without reloading.
#pragma once

#include "qor_c3dLoader.h"
#include "qor_cColor.h"
#include "qor_cDispTypes.h"
#include "qor_cEasyAnim.h"
#include "qor_cList.h"
#include "qor_types.h"

#include <string>
#include <unordered_map>

class qor_cObject;
class qor_cCamera;
class qor_cMesh;
class qor_cTriMesh;
class qor_cTexture;
class qor_cMaterial;
class qor_cParticleSystem;
class qor_cOmniLight;
class qor_cBone;
class qor_cFog;
class qor_cKey;
class tz_cChunkedFile;

// The first item of a list with each name, found in constant time: a scene file names thousands
// of objects and every record resolves its names against what earlier chunks built, so a search
// along the list per name would make loading grow with the square of the file. Items are indexed
// as the list grows: an item is named before it is listed and keeps its name (the loaders and
// the material scripts name every texture, material and object before adding it). A list that
// shrank, or an entry whose item no longer has its name, makes the index start again.
class qor_cNameIndex
{
public:
    template <typename T> T * find(const qor_cList & list, cchar * szName) const
    {
        const int i = findIndex(list, szName, [](void * p) -> cchar * { return static_cast<T *>(p)->getName(); });
        return i < 0 ? nullptr : list.get<T>(i);
    }

private:
    typedef cchar * (*pfnName)(void * pItem);
    int findIndex(const qor_cList & list, cchar * szName, pfnName pfn) const;

    mutable std::unordered_map<std::string, int> m_first;
    mutable int m_nIndexed = 0;
};

// The scene implements the loader's extract operations: each builds objects, resources or
// settings of the scene from one record, resolving its names and indices against what earlier
// chunks built.
class qor_cScene : public qor_c3dLoader
{
public:
    enum
    {
        e_maxScene = 32,    // additional scenes
        e_maxDrawLights = 8 // lights enabled for one draw: Direct3D 8 hardware's limit
    };
    // The most particles all the systems of one scene may hold together: pools are sized by the
    // file, not by its bytes, and a few thousand is what effects use.
    static const unsigned long long kMaxSceneParticles = 262144;

    qor_cScene();

    // ----- virtual operations, in slot order
    // A hook for derived scenes; the scene itself has nothing to do.
    virtual bool init();
    // Clears the updated flags, updates the additional scenes, then particle systems,
    // materials, textures and every object in list order, then advances the scene track.
    virtual void update(cfloat * pDt);
    // Renders each additional scene into its render-target texture.
    virtual void renderAdditionalScenes();
    // Fog, ambient light, clear colour, the first camera, then each mesh with the omni lights
    // whose range holds its centre, then each particle system.
    virtual void render();
    // Additional scenes, materials, textures, objects and the scene track back to time 0.
    virtual void rewind();
    virtual void clearUpdatedFlags();
    // Lists cleared in the reverse order of their declaration, then the fog.
    ~qor_cScene() override;

    // ----- loading
    // Reads the scene file sz (through the file exchange) and its animation file sz + ".MOT",
    // updates the scene once at time 0 and links meshes to their triangle meshes, taking the
    // skinned ones' bind pose. False (logged) on any failure; what was built stays.
    bool load(cchar * sz);
    // Reads an animation file into the objects' controllers and tracks, then takes the bones'
    // bind pose. True when the file was read to its end without error.
    bool loadAnim(cchar * sz);
    // The animation file's common values: two kept as read, then the rate given to every
    // object it animates.
    uint getAnimInfo(int i) const { return (i >= 0 && i < 3) ? m_auAnimInfo[i] : 0; }
    // Object blocks the last animation file read gave (0: the scene is not animated).
    uint getNbAnimObject() const { return m_nAnimObject; }

    // Extract operations (the loader calls them chunk by chunk).
    bool extractMesh(const qor_sMesh & sMesh) override;
    bool extractMeshData(const qor_sMeshData & sData) override;
    bool extractPolygons(const qor_sPolygons & sPool) override;
    bool extractCameraFree(const qor_sCameraFree & sCamera) override;
    bool extractCameraTarget(const qor_sCameraTarget & sCamera) override;
    bool extractTarget(const qor_sTarget & sTarget) override;
    bool extractMaterial(const qor_sMaterial & sMaterial) override;
    bool extractTexture(const qor_sTexture & sTexture) override;
    bool extractLightOmni(const qor_sLightOmni & sLight) override;
    bool extractDummy(const qor_sDummy & sDummy) override;
    bool extractBone(const qor_sBone & sBone) override;
    bool extractObjectHierarchy(const qor_sObjectHierarchy & sHierarchy) override;
    bool extractGlobalInfos(const qor_sGlobalInfos & sInfos) override;
    bool extractFogInfos(const qor_sFogInfos & sFog) override;
    bool extractAnimUV(const qor_sAnimUV & sAnim) override;
    bool extractGizmoSphere(const qor_sGizmoSphere & sGizmo) override;
    bool extractGizmoBox(const qor_sGizmoBox & sGizmo) override;
    bool extractGizmoCylinder(const qor_sGizmoCylinder & sGizmo) override;
    bool extractParticleSystem(const qor_sParticleSystem & sSystem) override;
    bool extractMorph(const qor_sMorph & sMorph) override;

    // Steps of loadAnim, each on the stream being read.
    bool extractAnimCommonInfos();
    bool extractAnimObjectsMotions();
    bool extractAnimPositionStatic(qor_cObject & o);
    bool extractAnimPositionTrack(qor_cObject & o);
    bool extractAnimRotationStatic(qor_cObject & o);
    bool extractAnimRotationTrack(qor_cObject & o);
    bool extractAnimScaleStatic(qor_cObject & o);
    bool extractAnimScaleTrack(qor_cObject & o);
    bool extractAnimRollStatic(qor_cObject & o);
    bool extractAnimRollTrack(qor_cObject & o);
    bool extractAnimFovStatic(qor_cObject & o);
    bool extractAnimFovTrack(qor_cObject & o);
    bool extractAnimVisibilityStatic(qor_cObject & o);
    bool extractAnimVisibilityTrack(qor_cObject & o);

    qor_cScene(const qor_cScene &) = delete;
    qor_cScene & operator=(const qor_cScene &) = delete;

    // ----- look-ups (byte comparison of names, case-sensitive)
    // First object of the all-objects list with that name, or null.
    qor_cObject * getObject(cchar * szName) const;
    // The target at that position in the targets list (camera targets are indexed this way).
    qor_cObject * getObject(int iTarget) const;
    qor_cMaterial * getMaterialByName(cchar * szName) const;
    qor_cMaterial * getMaterial(cchar * szName) const { return getMaterialByName(szName); }
    qor_cTexture * getTexture(cchar * szName) const;
    // Runs the material script szMaterialScript on the named material.
    bool modifyMaterial(cchar * szMaterialName, cchar * szMaterialScript);

    // ----- adding (false when the list cannot grow)
    bool addTexture(qor_cTexture * pTexture, bool bOwner);
    bool addMesh(qor_cMesh * pMesh, bool bOwner);
    // To the all-objects list.
    bool addObject(qor_cObject * pObject, bool bOwner);
    // To the list of the object's own type (meshes, cameras, targets, lights, bones, dummies,
    // gizmos, particle systems).
    bool add(qor_cObject * pObject, bool bOwner);
    bool addParticleSystem(qor_cParticleSystem * pSystem, bool bOwner);
    bool addTriMesh(qor_cTriMesh * pTriMesh, bool bOwner);
    bool addMaterial(qor_cMaterial * pMaterial, bool bOwner);
    // An additional scene (not owned), rendered into its own render target; at most 32.
    bool addScene(qor_cScene * pScene);

    // Owned; the old fog is deleted. A fog's colour becomes the background colour.
    void setFog(qor_cFog * pFog);
    qor_cFog * getFog() const { return m_pFog; }

    void setAmbient(const qor_cColor & c) { m_ambient = c; }
    void setBackground(const qor_cColor & c) { m_background = c; }
    const qor_cColor & getAmbient() const { return m_ambient; }
    const qor_cColor & getBackground() const { return m_background; }

    // The texture this scene renders into as another scene's additional scene.
    void setRenderTarget(qor_hTexture hTexture) { m_hRenderTarget = hTexture; }
    qor_hTexture getRenderTarget() const { return m_hRenderTarget; }

    // The scene-level four-component track (a layer's viewport x, y, width, height), output
    // (0, 0, 1, 1) until keyed, and the viewport rectangle x, y, width, height, zmin, zmax.
    qor_cEasyAnim & sceneTrack() { return m_sceneTrack; }
    float * viewport() { return m_afViewport; }

    // ----- lists, in declaration order
    const qor_cList & meshes() const { return m_lMesh; }
    const qor_cList & triMeshes() const { return m_lTriMesh; }
    const qor_cList & textures() const { return m_lTexture; }
    const qor_cList & materials() const { return m_lMaterial; }
    const qor_cList & particleSystems() const { return m_lParticleSystem; }
    const qor_cList & cameras() const { return m_lCamera; }
    const qor_cList & targets() const { return m_lTarget; }
    const qor_cList & omniLights() const { return m_lOmniLight; }
    const qor_cList & bones() const { return m_lBone; }
    const qor_cList & dummies() const { return m_lDummy; }
    const qor_cList & gizmoSpheres() const { return m_lGizmoSphere; }
    const qor_cList & gizmoBoxes() const { return m_lGizmoBox; }
    const qor_cList & gizmoCylinders() const { return m_lGizmoCylinder; }
    const qor_cList & objects() const { return m_lObject; }
    int getNbScene() const { return int(m_nScene); }
    qor_cScene * getScene(int i) const { return (i >= 0 && uint(i) < m_nScene) ? m_apScene[i] : nullptr; }

    // The scene material scripts build into (the last one that started loading).
    static qor_cScene * getCurrentScene() { return s_pCurrent; }
    static void setCurrentScene(qor_cScene * pScene) { s_pCurrent = pScene; }

protected:
    // Camera set-up for drawing: view from the camera's evaluated position towards its target
    // (or along its rotated -y axis), rolled about z; a 4:3 perspective; the fog range.
    void setupCamera(qor_cCamera * pCamera);
    // Chooses the lights of one mesh: those whose range sphere holds the mesh's world centre,
    // at most e_maxDrawLights of them, the nearest to that centre; logs once per scene that a
    // draw had more.
    void chooseLights(qor_cMesh * pMesh);

    // Loading helpers.
    // The common record: name and bounding sphere.
    static void read(qor_cObject * pObject, const qor_sObject & sObject);
    // Adds an object to its own list (owner; deleted when that fails) and the all-objects list.
    bool addOwned(qor_cObject * pObject, cchar * szSignature);
    // A texture by name; an empty name finds none.
    qor_cTexture * findTexture(cchar * szName) const;
    // Cuts every loop of the parent links (the link that closes it); the first object whose link
    // was cut, or null when there was none.
    qor_cObject * breakHierarchyLoops();
    // Links every mesh to its triangle mesh and transforms the skin copies by the mesh's world.
    bool linkMeshes();
    // Every bone updated at time 0; the rigid inverse of its world becomes its inverse bind.
    void takeBindPose();
    bool readFloats(float * pf, uint n);
    // Kind and count of a track; the key size of the kind; false for a kind the channel has no
    // layout for, or more keys than the bytes left.
    bool readTrackHead(uint nComponent, bool bRotation, uint * pnKind, uint * pnKey, uint * pnKeySize);
    bool readKey(uint nKind, uint nComponent, qor_cKey ** ppKey);
    // nChannel 0 position, 1 rotation, 2 scale.
    bool extractAnimTransformTrack(qor_cObject & o, uint nChannel);
    bool extractAnimCameraTrack(qor_cObject & o, bool bRoll);

    qor_cList m_lMesh;
    qor_cList m_lTriMesh;
    qor_cList m_lTexture;
    qor_cList m_lMaterial;
    qor_cList m_lParticleSystem;
    qor_cList m_lCamera;
    qor_cList m_lTarget;
    qor_cList m_lOmniLight;
    qor_cList m_lBone;
    qor_cList m_lDummy;
    qor_cList m_lGizmoSphere;
    qor_cList m_lGizmoBox;
    qor_cList m_lGizmoCylinder;
    qor_cList m_lObject; // every object, not owned
    qor_cNameIndex m_objectNames;
    qor_cNameIndex m_meshNames;
    qor_cNameIndex m_materialNames;
    qor_cNameIndex m_textureNames;

    // Faces of every polygon pool the file gave, and faces built into triangle meshes: mesh data
    // records share out the pools' faces, so a file cannot build more faces than it holds.
    unsigned long long m_nPoolFaces;
    unsigned long long m_nBuiltFaces;
    unsigned long long m_nParticles; // in all the particle systems

    tz_cChunkedFile * m_pChunkedFile; // the animation file while it is read
    uint m_auAnimInfo[3];
    uint m_nAnimObject = 0;

    qor_cFog * m_pFog;
    qor_cColor m_ambient;
    qor_cColor m_background;
    qor_cEasyAnim m_sceneTrack;
    float m_afViewport[6];
    qor_cScene * m_apScene[e_maxScene];
    uint m_nScene;
    qor_hTexture m_hRenderTarget;
    bool m_bLightsDropped; // a draw had more lights in range than the device enables; logged

  private:
    static qor_cScene * s_pCurrent;
};
