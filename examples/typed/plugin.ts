// A plug-in for the reference host written in TypeScript: the host's objects described
// as interfaces, driven synchronously and through Promise calls, with a typed callback.
// `npx tsc -p examples/typed` checks it against the add-on's declarations (index.d.ts).
import * as hostlink from '../../index';

interface Shape {
  GetInfo(): { type: string; x: number; y: number; width: number; height: number };
}

interface Document {
  readonly uniqueId?: string;
  GetTitle(): string;
  SetTitle(title: string): void;
  AddShape(type: string, x: number, y: number, width: number, height: number): Shape;
  GetShapeCount(): number;
  Close(): boolean;
}

interface Documents {
  Create(title: string): Document;
  Open(title: string): Document;
  List(): Document[];
  Count(): number;
}

interface Application {
  GetName(): string;
  GetVersion(): string;
  GetDocuments(): Documents;
  Echo(text: string): string;
}

export async function run(pluginId: string): Promise<void> {
  hostlink.Initialize(pluginId);
  hostlink.SetAPITimeout(10);
  hostlink.RegisterCallback<[Document, string]>('DocumentChanged', (document, change) => {
    console.log(`${document.GetTitle()}: ${change}`);
  });

  const app = hostlink.GetKestrel<Application>();
  const documents = app.GetDocuments();
  const sketch = documents.Create('Sketch');
  sketch.AddShape('rectangle', 10, 10, 200, 100);

  // The same functions as Promises: the JavaScript thread stays free while the host works.
  const controller = new AbortController();
  const documents$ = hostlink.Async(documents, { signal: controller.signal });
  const count: number = await documents$.Count();
  const sketch$: hostlink.Async<Document> = hostlink.Async(await documents$.Open('Sketch'));
  const [title, shapes] = await Promise.all([sketch$.GetTitle(), sketch$.GetShapeCount()]);
  console.log(`${count} document(s); ${title} has ${shapes} shape(s)`);

  const root = await hostlink.GetKestrelAsync<Application>();
  const echoed: string = await hostlink.Async(root).Echo('hello');
  console.log(echoed, root.GetName());

  hostlink.DeregisterCallback('DocumentChanged');
  hostlink.CleanUp();
}
